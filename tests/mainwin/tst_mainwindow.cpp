// The main window driven as a user drives it: opening a folder of ciphered photos, showing
// them, stepping and the slide show, full screen, the key map and dropped files.

#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "mainwin/mainwindowfixture.h"
#include "platform/scriptedplatform.h"
#include "viewer/elidedlabel.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QBuffer>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

using namespace veilshot;

namespace {

using test::Q;

constexpr auto Code = u"main window test code";

using test::Png;

// Ciphers `bytes` into `target`, under this suite's code unless another is given.
void CipherInto(const std::filesystem::path &target, const std::vector<std::uint8_t> &bytes, std::u16string_view code = Code)
{
    test::CipherInto(target, bytes, code);
}

}  // namespace

class MainWindowTest : public QObject, test::MainWindowFixture {
    Q_OBJECT

private:
    QString label1() { return child<QLabel>("Label1")->text(); }
    QRgb shownPixel()
    {
        const QPixmap pixmap = child<QLabel>("Image1")->pixmap();
        return pixmap.toImage().pixel(pixmap.width() / 2, pixmap.height() / 2);
    }
    QColor colourOf(const char *name) { return panel(name)->colour(); }

    // A folder of three ciphered photos: red 40x20, green 20x40, blue 30x30.
    void makeFolder()
    {
        CipherInto(*dir / "a.veil", Png({40, 20}, Qt::red));
        CipherInto(*dir / "b.veil", Png({20, 40}, Qt::green));
        CipherInto(*dir / "c.veil", Png({30, 30}, Qt::blue));
        test::WriteText(*dir / "notes.txt", "not a photo");
    }

    void openChosen(const QString &path)
    {
        scripted->dialogs.answers.enqueue({path});
        panel("Panel6")->click();
    }

private slots:
    void init() { setUpMainWindow(); }
    void cleanup() { tearDownMainWindow(); }

    void layoutAtCreation()
    {
        QCOMPARE(window->windowTitle(), QString("Veilshot"));
        QCOMPARE(window->size(), QSize(758, 515));
        QCOMPARE(child("Panel1")->size(), QSize(758, 473));
        QCOMPARE(child("Panel2")->width(), 626);
        QCOMPARE(child("Panel2")->x(), (758 - 626) / 2);
        QCOMPARE(child("Panel12")->width(), 48);
        QCOMPARE(window->screenSize().width(), 1280);
        QVERIFY(!child("Panel13")->isVisible());
        for (const char *name : {"Panel3", "Panel4", "Panel5", "Panel8"})
            QVERIFY2(!panel(name)->isEnabled(), name);
        for (const char *name : {"Panel6", "Panel9", "Panel14", "Panel11"})
            QVERIFY2(panel(name)->isEnabled(), name);
        QCOMPARE(panel("Panel6")->caption(), QString(" Open"));
        QCOMPARE(panel("Panel9")->caption(), QString(" Cipher"));
        QCOMPARE(panel("Panel3")->toolTip(), QString("Arrow to the right"));
        QCOMPARE(colourOf("Panel4"), QColor(0, 240, 240));
        QCOMPARE(action("mN1")->text(), QString("Back - Arrow to the left "));
        for (const char *name : {"mN1", "mN2", "mN3", "mN4", "mN5", "mN6", "mN7"})
            QVERIFY2(!action(name)->isEnabled(), name);
        for (const char *name : {"mn8", "mn9", "Exit1"})
            QVERIFY2(action(name)->isEnabled(), name);
        QVERIFY(child<QRadioButton>("RadioButton9")->isChecked());
        // Before any photo, the picture has the area's height and no width.
        window->resize(700, 450);
        QCOMPARE(child("Image1")->geometry(), QRect(350, 0, 0, 408));
    }

    void barStaysWhenTheWindowIsNarrowerThanIt()
    {
        window->resize(800, 500);
        const int centred = child("Panel2")->x();
        QCOMPARE(centred, (800 - 626) / 2);
        window->setMinimumSize(0, 0);
        window->resize(600, 500);
        QCOMPARE(child("Panel2")->x(), centred);
    }

    void openWithoutACodeOpensTheCodeWindow()
    {
        makeFolder();
        QString title;
        test::OnNextModal([&](QWidget *modal) {
            title = modal->windowTitle();
            modal->close();
        });
        panel("Panel6")->click();
        QCOMPARE(title, QString("Code Veilshot"));
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QVERIFY(state->folder.paths().isEmpty());
    }

    void openListsTheFolderAndShowsTheChosenPhoto()
    {
        makeFolder();
        std::filesystem::create_directory(*dir / "sub.veil");
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "b.veil"));
        QCOMPARE(scripted->dialogs.requests.last().filter, QString("Зашифрованное фото (*.veil)|*.veil"));
        QCOMPARE(state->folder.count(), 4);  // the sub-folder named like a ciphered photo too
        QCOMPARE(state->folder.index(), 1);
        QCOMPARE(state->folder.lastIndex(), 3);
        QCOMPARE(label1(), Q(*dir / "b.veil"));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("1"));
        QCOMPARE(QColor(shownPixel()), QColor(Qt::green));
        QVERIFY(test::ShowsPicture(window.get()));
        const QRect area = child("Panel1")->rect();
        QCOMPARE(child("Image1")->geometry(), QRect((area.width() - area.height() / 2) / 2, 0, area.height() / 2, area.height()));
        for (const char *name : {"Panel3", "Panel4", "Panel5", "Panel8"})
            QVERIFY2(panel(name)->isEnabled(), name);
        for (const char *name : {"mN1", "mN2", "mN3", "mN4", "mN5", "mN6", "mN7"})
            QVERIFY2(action(name)->isEnabled(), name);

        panel("Panel3")->click();  // Forward
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));
        panel("Panel3")->click();  // the sub-folder: no file
        QCOMPARE(label1(), QString(NoFileText));
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));  // the last picture stays
        panel("Panel3")->click();  // wraps to the first
        QCOMPARE(state->folder.index(), 0);
        QCOMPARE(QColor(shownPixel()), QColor(Qt::red));
        panel("Panel5")->click();  // Back wraps to the last
        QCOMPARE(state->folder.index(), 3);
    }

    // While a photo is shown the ones on either side are deciphered ahead, the one in the
    // direction of travel first, and the shown one is kept as the neighbour of the next; a file
    // changed or moved meanwhile is shown as it is now, never from the stale copy.
    void theNeighboursArePreparedAndNeverStale()
    {
        makeFolder();
        engine->BuildKeyTable(Code);
        const QString a = Q(*dir / "a.veil"), b = Q(*dir / "b.veil"), c = Q(*dir / "c.veil");
        openChosen(a);
        QCOMPARE(window->preparedPaths(), (QStringList{a, b, c}));
        panel("Panel3")->click();
        QCOMPARE(QColor(shownPixel()), QColor(Qt::green));
        QCOMPARE(window->preparedPaths(), (QStringList{b, c, a}));
        panel("Panel5")->click();  // back: what lies behind is wanted first
        QCOMPARE(QColor(shownPixel()), QColor(Qt::red));
        QCOMPARE(window->preparedPaths(), (QStringList{a, c, b}));  // back from a wraps to c

        QTRY_VERIFY(window->preparedReady(c));
        CipherInto(*dir / "c.veil", Png({30, 30}, Qt::yellow));  // rewritten after it was prepared
        panel("Panel5")->click();
        QCOMPARE(QColor(shownPixel()), QColor(Qt::yellow));

        QTRY_VERIFY(window->preparedReady(b));  // b, behind c
        std::filesystem::rename(*dir / "a.veil", *dir / "b.veil");  // another photo moved in
        panel("Panel5")->click();
        QCOMPARE(label1(), b);
        QCOMPARE(QColor(shownPixel()), QColor(Qt::red));
    }

    void oneFileLeavesNavigationDisabled()
    {
        CipherInto(*dir / "only.veil", Png({10, 10}, Qt::red));
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "only.veil"));
        QCOMPARE(state->folder.lastIndex(), 0);
        for (const char *name : {"Panel3", "Panel4", "Panel5", "Panel8"})
            QVERIFY2(!panel(name)->isEnabled(), name);
        QVERIFY(action("mN4")->isEnabled());
        QVERIFY(!action("mN3")->isEnabled());
        action("mN3")->trigger();  // does nothing while Forward is disabled
        QCOMPARE(state->folder.index(), 0);
    }

    // What the window shows and what its commands act on stay one file: a refused or undecodable
    // file leaves the picture area empty. A missing one leaves the picture shown before.
    void refusalsLeaveThePictureAreaEmpty()
    {
        makeFolder();
        CipherInto(*dir / "d.veil", Png({10, 10}, Qt::yellow), u"another code");
        CipherInto(*dir / "e.veil", {0x89, 'P', 'N', 'G', 1, 2, 3});  // damaged body
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "a.veil"));
        QCOMPARE(QColor(shownPixel()), QColor(Qt::red));

        state->folder.setIndex(3);
        QCOMPARE(label1(), QString(OtherCodeText));
        QVERIFY(!test::ShowsPicture(window.get()));

        state->folder.setIndex(3);
        scripted->messages.shown.clear();
        panel("Panel3")->click();  // from d to e: e cannot be decoded
        QCOMPARE(state->folder.index(), 4);
        QCOMPARE(scripted->messages.shown.size(), 1);
        QVERIFY(scripted->messages.shown[0].startsWith("Cannot open file \"" + Q(*dir / "e.veil") + "\""));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("4"));
        QCOMPARE(label1(), Q(*dir / "e.veil"));
        QVERIFY(!test::ShowsPicture(window.get()));
        // Removing now offers the file the window names.
        {
            test::ExpectModal confirm([&](QWidget *modal) {
                QVERIFY(test::Child<QLabel>(modal, "Label2")->text().contains("e.veil"));
                modal->close();
            });
            action("mN6")->trigger();
        }

        state->folder.setIndex(2);
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));
        std::filesystem::remove(*dir / "a.veil");
        state->folder.setIndex(0);
        QCOMPARE(label1(), QString(NoFileText));
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));
    }

    // The status label says what a refused file is: one of another code, or no ciphered photo
    // at all. No message box either way, and no picture of another file beside it.
    void refusedFilesAreNamedInTheStatusLabel_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // empty: ciphered under another code
        QTest::addColumn<QString>("label");
        QTest::newRow("another code") << QByteArray() << QString(OtherCodeText);
        QTest::newRow("shorter than a header") << QByteArray("tiny") << QString(TooShortText);
        QTest::newRow("empty") << QByteArray("") << QString(TooShortText);
        const std::vector<std::uint8_t> png = Png({10, 10}, Qt::green);
        QTest::newRow("a photo renamed") << QByteArray(reinterpret_cast<const char *>(png.data()), qsizetype(png.size()))
                                         << QString(NotCipheredText);
    }

    void refusedFilesAreNamedInTheStatusLabel()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, label);
        CipherInto(*dir / "a.veil", Png({40, 20}, Qt::red));
        if (bytes.isNull())
            CipherInto(*dir / "b.veil", Png({10, 10}, Qt::yellow), u"another code");
        else
            test::WriteText(*dir / "b.veil", bytes.toStdString());
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "a.veil"));
        scripted->messages.shown.clear();
        panel("Panel3")->click();
        QCOMPARE(state->folder.index(), 1);
        QCOMPARE(label1(), label);
        QCOMPARE(scripted->messages.shown.size(), 0);
        QVERIFY(!test::ShowsPicture(window.get()));
    }

    void openRefusals()
    {
        engine->BuildKeyTable(Code);
        scripted->messages.shown.clear();
        openChosen(Q(*dir / "gone.veil"));
        std::filesystem::create_directory(*dir / "folder.veil");
        openChosen(Q(*dir / "folder.veil"));  // a folder is no file either
        QCOMPARE(scripted->messages.shown, QStringList(2, "The file with this name in this folder is not present."));
        QVERIFY(state->folder.paths().isEmpty());
        panel("Panel6")->click();  // cancelled
        QVERIFY(state->folder.paths().isEmpty());
    }

    void slideShowRunsFromTheRadioStrip()
    {
        makeFolder();
        engine->BuildKeyTable(Code);
        QTest::keyClick(window.get(), Qt::Key_1);
        QVERIFY(child<QRadioButton>("RadioButton1")->isChecked());
        QVERIFY(!window->slideShow()->manual());
        auto *timer = child<QTimer>("Timer1");
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(!timer->isActive());

        openChosen(Q(*dir / "a.veil"));  // a timed open of several files plays at once
        QVERIFY(timer->isActive());
        QVERIFY(scripted->keepAwake.playing);
        QCOMPARE(colourOf("Panel3"), QColor(24, 167, 153));
        QCOMPARE(colourOf("Panel4"), QColor(0, 240, 240));

        QTest::keyClick(window.get(), Qt::Key_7);  // 20 s, without stopping
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 20000);

        window->Timer1Timer();
        QCOMPARE(state->folder.index(), 1);
        QTest::keyClick(window.get(), Qt::Key_Left);  // play backward
        QCOMPARE(colourOf("Panel5"), QColor(24, 167, 153));
        window->Timer1Timer();
        QCOMPARE(state->folder.index(), 0);

        QTest::keyClick(window.get(), Qt::Key_Down);  // Stop
        QVERIFY(!timer->isActive());
        QVERIFY(!scripted->keepAwake.playing);
        QCOMPARE(colourOf("Panel4"), QColor(24, 167, 153));

        QTest::keyClick(window.get(), Qt::Key_8);  // Man.
        QVERIFY(window->slideShow()->manual());
        QTest::keyClick(window.get(), Qt::Key_Right);
        QCOMPARE(state->folder.index(), 1);
    }

    // A damaged photo does not halt a playing show behind a message box: the status line says
    // it, the file's name first, and the show goes on. A step by hand onto it still gets the box.
    void aDamagedPhotoDoesNotHaltTheShow()
    {
        CipherInto(*dir / "a.veil", Png({40, 20}, Qt::red));
        CipherInto(*dir / "b.veil", {0x89, 'P', 'N', 'G', 1, 2, 3});  // damaged body
        CipherInto(*dir / "c.veil", Png({30, 30}, Qt::blue));
        engine->BuildKeyTable(Code);
        // Steps by hand below: the show's own timer set long first, so it never steps beside them.
        QTest::keyClick(window.get(), Qt::Key_7);
        openChosen(Q(*dir / "a.veil"));
        auto *timer = child<QTimer>("Timer1");
        QVERIFY(timer->isActive());

        window->Timer1Timer();
        QCOMPARE(state->folder.index(), 1);
        QVERIFY(scripted->messages.shown.isEmpty());
        // The file's name first, then why, without the path again; a line too long for the label
        // loses its end, and shows whole in the tool tip.
        const auto *status = child<ElidedLabel>("Label1");
        QVERIFY2(status->fullText().startsWith("b.veil: The file is not a picture"), qPrintable(status->fullText()));
        QVERIFY(!status->fullText().contains(Q(dir->path())));
        QVERIFY(status->text().startsWith("b.veil: "));
        QVERIFY(!test::ShowsPicture(window.get()));
        QVERIFY(timer->isActive());
        window->Timer1Timer();
        QCOMPARE(state->folder.index(), 2);
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));

        QTest::keyClick(window.get(), Qt::Key_8);     // Man.
        QTest::keyClick(window.get(), Qt::Key_Left);  // a step by hand, backward
        QCOMPARE(state->folder.index(), 1);
        QCOMPARE(scripted->messages.shown.size(), 1);
    }

    void stripWidensAndNarrows()
    {
        QTest::keyClick(window.get(), Qt::Key_9);
        QCOMPARE(child("Panel12")->width(), 257);
        // Wide, it covers the bar up to Stop: nothing of Presurvey, Back or Stop shows.
        const QRect strip = child("Panel12")->geometry();
        for (const char *covered : {"Panel8", "Panel5", "Panel4"})
            QVERIFY2(strip.contains(panel(covered)->geometry()), covered);
        QCOMPARE(panel("Panel3")->x(), strip.right() + 1);
        panel("Panel11")->click();
        QCOMPARE(child("Panel12")->width(), 48);
    }

    void fullScreenEntersAndRestoresExactly()
    {
        window->resize(700, 480);
        window->move(40, 30);
        const QRect before = window->geometry();
        const QSize areaBefore = child("Panel1")->size();

        QTest::keyClick(window.get(), Qt::Key_M);
        QVERIFY2(!test::InFullScreen(window.get()), "nothing before a photo");

        makeFolder();
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "a.veil"));
        scripted->windows.maximized = true;
        QTest::keyClick(window.get(), Qt::Key_M);
        QVERIFY2(!test::InFullScreen(window.get()), "nothing while maximised");
        scripted->windows.maximized = false;

        QTest::keyClick(window.get(), Qt::Key_M);
        QVERIFY(test::InFullScreen(window.get()));
        QCOMPARE(window->geometry(), QRect(0, 0, 1280, 800));
        QCOMPARE(child("Panel1")->size(), QSize(1280, 800));
        QVERIFY(!child("Panel2")->isVisible());
        QVERIFY(!child("Label1")->isVisible());

        // Digits do nothing in full screen; the other keys still work.
        QTest::keyClick(window.get(), Qt::Key_2);
        QVERIFY(!child<QRadioButton>("RadioButton2")->isChecked());
        QTest::keyClick(window.get(), Qt::Key_Right);
        QCOMPARE(state->folder.index(), 1);

        QTest::mouseDClick(child("Image1"), Qt::LeftButton);
        QVERIFY(!test::InFullScreen(window.get()));
        QCOMPARE(window->geometry(), before);
        QCOMPARE(child("Panel1")->size(), areaBefore);
        QVERIFY(child("Panel2")->isVisible());
        QVERIFY(window->acceptDrops());
    }

    // Holding M (or 9) changes the state once, however long the key repeats.
    void aHeldToggleKeyActsOnce()
    {
        makeFolder();
        engine->BuildKeyTable(Code);
        openChosen(Q(*dir / "a.veil"));
        QTest::keyClick(window.get(), Qt::Key_M);
        QVERIFY(test::InFullScreen(window.get()));
        for (int repeat = 0; repeat < 3; ++repeat) {
            QKeyEvent held(QEvent::KeyPress, Qt::Key_M, Qt::NoModifier, "m", true);
            QApplication::sendEvent(window.get(), &held);
            QKeyEvent strip(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, "9", true);
            QApplication::sendEvent(window.get(), &strip);
        }
        QVERIFY(test::InFullScreen(window.get()));
        QCOMPARE(child("Panel12")->width(), 48);
    }

    void keysOutsideTheMapReachTheFocusedControl()
    {
        auto *edit = new QLineEdit(window.get());
        edit->show();
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_4);
        QTest::keyClick(edit, Qt::Key_A);
        QTest::keyClick(edit, Qt::Key_Space);  // Presurvey is disabled: consumed all the same
        QTest::keyClick(edit, Qt::Key_1);
        QCOMPARE(edit->text(), QString("4a"));
        QVERIFY(child<QRadioButton>("RadioButton1")->isChecked());
    }

    void dropsOpenTheFirstCipheredFileOnly()
    {
        makeFolder();
        window->dropFiles({Q(*dir / "notes.txt"), Q(*dir / "a.veil")});
        QVERIFY(state->folder.paths().isEmpty());

        // Before a code: the code window opens and the dropped path waits.
        test::OnNextModal();
        window->dropFiles({Q(*dir / "c.veil"), Q(*dir / "a.veil")});
        QVERIFY(state->folder.paths().isEmpty());
        engine->BuildKeyTable(Code);
        panel("Panel6")->click();
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QCOMPARE(state->folder.index(), 2);
        QCOMPARE(QColor(shownPixel()), QColor(Qt::blue));

        // A drop as the window system delivers it: the open runs once the drop has finished.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Q(*dir / "b.veil")), QUrl::fromLocalFile(Q(*dir / "a.veil"))});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject *>(window.get())->event(&drop);
        QCOMPARE(state->folder.index(), 2);
        QTRY_COMPARE(state->folder.index(), 1);

        // A drop serves one open: the next one asks which file.
        scripted->dialogs.requests.clear();
        openChosen(Q(*dir / "c.veil"));
        QCOMPARE(scripted->dialogs.requests.size(), 1);
        QCOMPARE(state->folder.index(), 2);
    }

    void exitByKeyClosesTheWindow()
    {
        QTest::keyClick(window.get(), Qt::Key_E);
        QVERIFY(!window->isVisible());
    }

    void timer2TicksTheKeepAwakeService()
    {
        QCOMPARE(child<QTimer>("Timer2")->interval(), 50000);
        QVERIFY(child<QTimer>("Timer2")->isActive());
        window->Timer2Timer();
        QCOMPARE(scripted->keepAwake.ticks, 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
