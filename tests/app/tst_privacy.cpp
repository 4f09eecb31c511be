// What the main window and its preview do for the privacy of what they show: files of both
// formats side by side, the code stretched once per salt, the older format chosen for new files,
// and deciphered pictures taken away when the session locks or the window is minimised.

#include "app/application.h"
#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "mainwin/mainwindow.h"
#include "platform/scriptedplatform.h"
#include "preview/previewwindow.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

using namespace veilshot;

namespace {

using test::Q;
namespace fs = std::filesystem;

constexpr auto Code = u"privacy test code";

void Cipher(cipher::CipherEngine &engine, const fs::path &target, QColor colour, cipher::Format format)
{
    engine.setWriteFormat(format);
    test::CipherWith(engine, target, test::Png({40, 30}, colour));
}

}  // namespace

class PrivacyTest : public QObject, test::WindowFixture {
    Q_OBJECT

private:
    std::unique_ptr<MainModel> model;
    std::unique_ptr<cipher::CipherEngine> engine;
    std::unique_ptr<TForm7> window;

    QLabel *label(const char *name) { return test::Child<QLabel>(window.get(), name); }
    QRgb shownPixel()
    {
        const QPixmap pixmap = label("Image1")->pixmap();
        return pixmap.isNull() ? 0 : pixmap.toImage().pixel(pixmap.width() / 2, pixmap.height() / 2);
    }

    void makeMain()
    {
        model = std::make_unique<MainModel>();
        engine = std::make_unique<cipher::CipherEngine>();
        window = std::make_unique<TForm7>(*model, *engine, scripted->platform());
        ConnectPresurvey(*window, *model, *engine, scripted->platform());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        engine->BuildKeyTable(Code);
    }

    // a.veil sealed in one session, b.veil keyed, c.veil sealed in another session: red,
    // green, blue.
    void mixedFolder()
    {
        cipher::CipherEngine first, second;
        first.BuildKeyTable(Code);
        second.BuildKeyTable(Code);
        Cipher(first, *dir / "a.veil", Qt::red, cipher::Format::Sealed);
        Cipher(first, *dir / "b.veil", Qt::green, cipher::Format::Keyed);
        Cipher(second, *dir / "c.veil", Qt::blue, cipher::Format::Sealed);
    }

    void open(const fs::path &file)
    {
        answer({Q(file)});
        window->Panel6Click();
    }

private slots:
    void init() { setUpFixture(); }
    void cleanup()
    {
        window.reset();
        engine.reset();
        model.reset();
        tearDownFixture();
    }

    // Stepping through a folder of both formats shows every photo; each session's salt costs
    // one stretch of the code, however often its files are shown.
    void bothFormatsSideBySide()
    {
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        for (QRgb expected : {qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}) {
            window->Panel3Click();
            QTRY_COMPARE(shownPixel(), expected);
            QVERIFY(!label("Label1")->text().contains(QLatin1String("OTHER CODE")));
        }
        QCOMPARE(engine->keysStretched(), 2);
        QVERIFY(messages().isEmpty());

        // The preview shows all three, with no cell taken for another code.
        bool shown = false;
        test::OnNextModal([&](QWidget *modal) {
            auto *preview = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(preview);
            QVERIFY(QTest::qWaitFor([&] { return model->preview.kept() && !preview->loading(); }, 20000));
            const QImage grid = test::Child<QLabel>(preview, "Image1")->pixmap().toImage();
            int red = 0, green = 0, blue = 0;
            for (int y = 0; y < grid.height(); ++y)
                for (int x = 0; x < grid.width(); ++x) {
                    const QRgb p = grid.pixel(x, y);
                    red += p == qRgb(255, 0, 0);
                    green += p == qRgb(0, 255, 0);
                    blue += p == qRgb(0, 0, 255);
                }
            QVERIFY(red > 100 && green > 100 && blue > 100);
            shown = true;
            preview->close();
        });
        window->Panel8Click();
        QVERIFY(shown);
        QCOMPARE(engine->keysStretched(), 2);
    }

    // A sealed file under another code is "another code", exactly as a keyed one.
    void anotherCodeReadsTheSameInBothFormats()
    {
        cipher::CipherEngine theirs;
        theirs.BuildKeyTable(u"their code");
        Cipher(theirs, *dir / "a.veil", Qt::red, cipher::Format::Sealed);
        Cipher(theirs, *dir / "b.veil", Qt::green, cipher::Format::Keyed);
        makeMain();
        for (const char *name : {"a.veil", "b.veil"}) {
            open(*dir / name);
            QCOMPARE(label("Label1")->text(), QLatin1String(OtherCodeText));
        }
        QVERIFY(messages().isEmpty());
    }

    // New files are sealed unless the menu asks for the older format, which the status line
    // then says; nothing is remembered across starts.
    void theOlderFormatIsChosenInTheMenu()
    {
        makeMain();
        QAction *keyed = test::Action(window.get(), "keyedFormat");
        QVERIFY(keyed && keyed->isCheckable() && !keyed->isChecked());
        QVERIFY(!label("formatStatus")->isVisible());
        QCOMPARE(engine->writeFormat(), cipher::Format::Sealed);

        keyed->trigger();
        QCOMPARE(engine->writeFormat(), cipher::Format::Keyed);
        QVERIFY(label("formatStatus")->isVisible());
        QCOMPARE(label("formatStatus")->text(), QLatin1String(KeyedFormatStatus));
        test::WriteFile(*dir / "p.png", test::Png({40, 30}, Qt::red));
        answer({Q(*dir / "p.png")});
        answer({Q(*dir / "p.png")});
        window->Panel9Click();
        const fs::path made = *dir / "The ciphered photo" / "p.veil";
        QVERIFY(fs::exists(made));
        QCOMPARE(cipher::FormatOf(made), cipher::Format::Keyed);

        keyed->trigger();
        QVERIFY(!label("formatStatus")->isVisible());
        fs::remove(made);
        answer({Q(*dir / "p.png")});
        answer({Q(*dir / "p.png")});
        window->Panel9Click();
        QCOMPARE(cipher::FormatOf(made), cipher::Format::Sealed);
    }

    // A lock of the session, or the screen saver starting, takes the picture off the screen and
    // the pictures prepared ahead out of memory; stepping shows them again, the code entered.
    void lockingOrMinimisingHidesThePicture_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("the session locks") << false;
        QTest::newRow("the window is minimised") << true;
    }
    void lockingOrMinimisingHidesThePicture()
    {
        QFETCH(bool, minimise);
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QCOMPARE(shownPixel(), qRgb(255, 0, 0));
        QTRY_VERIFY(window->preparedReady(Q(*dir / "b.veil")));
        if (minimise)
            window->showMinimized();
        else
            emit scripted->session.locked();
        QTRY_VERIFY(label("Image1")->pixmap().isNull());
        QVERIFY(window->preparedPaths().isEmpty());
        QVERIFY(engine->CodeEntered());
        window->showNormal();
        // Nothing deciphered is kept to be drawn again when the window changes size.
        window->resize(window->size() + QSize(40, 30));
        QTest::qWait(50);
        QVERIFY(label("Image1")->pixmap().isNull());
        window->Panel3Click();
        QTRY_COMPARE(shownPixel(), qRgb(0, 255, 0));
    }

    // A kept preview holds deciphered thumbnails: a lock discards it.
    void lockingDiscardsAKeptPreview()
    {
        mixedFolder();
        makeMain();
        open(*dir / "a.veil");
        QPointer<PreviewWindow> kept;
        test::OnNextModal([&](QWidget *modal) {
            kept = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(QTest::qWaitFor([&] { return model->preview.kept() && !kept->loading(); }, 20000));
            kept->close();
        });
        window->Panel8Click();
        QVERIFY(kept && model->preview.kept());
        emit scripted->session.locked();
        QVERIFY(!kept);
        QVERIFY(!model->preview.kept());

        // A lock while the preview is open closes it and drops its thumbnails too.
        QPointer<PreviewWindow> open;
        test::OnNextModal([&](QWidget *modal) {
            open = qobject_cast<PreviewWindow *>(modal);
            QVERIFY(QTest::qWaitFor([&] { return !open->loading(); }, 20000));
            emit scripted->session.locked();
        });
        window->Panel8Click();
        QVERIFY(!open);
        QVERIFY(!model->preview.kept());
    }
};

QTEST_MAIN(PrivacyTest)
#include "tst_privacy.moc"
