// The ciphered "Presurvey" opened from the main window, wired by the start-up code: what it
// draws under the code, its copies, viewing from it, and another folder discarding it.

#include "preview/previewfixture.h"
#include "common/drawings.h"
#include "viewer/elidedlabel.h"

using namespace veilshot;
using namespace veilshot::test;
namespace fs = std::filesystem;

class CipheredPreviewTest : public PreviewFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // --- The ciphered preview of the main window --------------------------------------------

    void cipheredLoadDrawsWhatTheCodeOpens()
    {
        makeMain();
        CipherInto(*dir / "a.veil", Encoded(Uniform({300, 200}, Qt::red), "png"), Code, u".png");
        CipherInto(*dir / "b.veil", Encoded(Uniform({60, 60}, Qt::green), "png"), u"another code", u".png");
        CipherInto(*dir / "c.veil", Encoded(Uniform({200, 300}, Qt::blue), "png"), Code, u".png");
        CipherInto(*dir / "d.veil", QByteArray(500, 'x'), Code, u".png");  // deciphers, but no picture
        // No ciphered photos at all: a photo renamed, and a file shorter than a header.
        WriteBytes(*dir / "e.veil", Encoded(Uniform({60, 60}, Qt::green), "png"));
        WriteBytes(*dir / "f.veil", QByteArray("tiny"));
        const auto before = Tree(dir->path());
        openInMain(*dir / "c.veil");
        QCOMPARE(mainModel->folder.count(), 6);

        QImage picture;
        QString count;
        duringPresurvey([&](PreviewWindow &window) {
            picture = test::Child<QLabel>(&window, "Image1")->pixmap().toImage();
            count = test::Child<QLabel>(&window, "Label2")->text();
            QCOMPARE(window.objectName(), QString("TForm13"));
        });
        QCOMPARE(count, QString("6-0"));
        for (int cell = 0; cell < 6; ++cell)
            QVERIFY(Framed(picture, cell, 5));
        QCOMPARE(Bounds(picture, 0, 5, {Qt::red}), QRect(2, 36, 206, 138));
        QVERIFY(Near(Centre(picture, 1, 5), Background, 2));  // another code: an empty frame
        QCOMPARE(Bounds(picture, 1, 5, {Qt::green}), QRect());
        QCOMPARE(Bounds(picture, 2, 5, {Qt::blue}), QRect(36, 2, 138, 206));
        QCOMPARE(Marks(picture, 1, 5), 0);
        QVERIFY(Marks(picture, 3, 5) > 200);  // no picture in it: marked
        QVERIFY(Marks(picture, 4, 5) > 200);  // no ciphered photo: marked, not taken for another code
        QVERIFY(Marks(picture, 5, 5) > 200);
        QVERIFY(messages().isEmpty());
        QCOMPARE(Tree(dir->path()), before);  // nothing deciphered reaches the disk
    }

    // A sealed file's preview draws its thumbnail: as the photo would draw it, and without the
    // photo being read, so a change in the photo shows only when it is viewed; a changed
    // preview is a damaged file.
    void sealedPreviewsDrawTheThumbnailsWithoutThePhoto()
    {
        makeMain();
        const fs::path plain = *dir / ".photo.jpg";
        WriteBytes(plain, Encoded(Quadrants(900, 600), "jpeg"));
        cipher::CipherEngine sealer;
        sealer.BuildKeyTable(Code);
        sealer.extension = cipher::Extension::fromText(u".jpg");
        for (const char *name : {"a.veil", "b.veil", "c.veil"})
            sealer.Cipfoto(plain, *dir / name, AtomicFile::Mode::Replace, imaging::MakePreview(Q(plain)));
        sealer.Cipfoto(plain, *dir / "d.veil");  // no preview: drawn from the photo
        fs::remove(plain);
        const auto flip = [](const fs::path &file, std::size_t offset) {
            auto bytes = ReadFile(file);
            bytes[offset] ^= 0x20;
            WriteFile(file, bytes);
        };
        flip(*dir / "b.veil", fs::file_size(*dir / "b.veil") - 100);  // in the photo
        flip(*dir / "c.veil", cipher::sealed::HeaderSize + cipher::sealed::PreviewInfoSize +
                                  cipher::sealed::TagSize + 100);  // in the preview
        openInMain(*dir / "a.veil");

        QImage picture;
        duringPresurvey([&](PreviewWindow &window) { picture = test::Child<QLabel>(&window, "Image1")->pixmap().toImage(); });
        const QList<QColor> quadrants = {QColor(220, 30, 30), QColor(20, 200, 30), QColor(20, 40, 220), QColor(250, 250, 20)};
        // Within a pixel at each edge: the preview was shrunk and encoded once more.
        const auto within = [](const QRect &a, const QRect &b) {
            return std::abs(a.left() - b.left()) <= 1 && std::abs(a.top() - b.top()) <= 1 &&
                   std::abs(a.right() - b.right()) <= 1 && std::abs(a.bottom() - b.bottom()) <= 1;
        };
        for (const QColor &colour : quadrants) {
            const QRect fromPhoto = Bounds(picture, 3, 4, {colour});
            QVERIFY(fromPhoto.width() > 90 && fromPhoto.height() > 60);
            QVERIFY2(within(Bounds(picture, 0, 4, {colour}), fromPhoto), qPrintable(colour.name()));
            QVERIFY2(within(Bounds(picture, 1, 4, {colour}), fromPhoto), qPrintable(colour.name()));
        }
        QVERIFY(Marks(picture, 2, 4) > 200);  // damaged: marked
        QCOMPARE(Bounds(picture, 2, 4, {quadrants.first()}), QRect());
    }

    void cipheredCopyIsTheDecipheredPhoto_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("target");   // "" for none
        QTest::addColumn<QString>("refusal");  // the message instead of the dialog, "" for none
        QTest::newRow("the offered name kept") << 0 << "holiday.jpeg" << "The copied files/holiday.jpeg" << "";
        QTest::newRow("another name") << 0 << "out/x" << "out/x.jpeg" << "";
        QTest::newRow("the extension in another case") << 0 << "out/y.JPEG" << "out/y.JPEG.jpeg" << "";
        QTest::newRow("a photo of another code") << 1 << "out/z" << "" << "THE PHOTO IS CIPHERED OTHER CODE";
        QTest::newRow("no ciphered photo") << 2 << "out/z" << "" << "THE FILE IS NOT A CIPHERED PHOTO";
    }

    void cipheredCopyIsTheDecipheredPhoto()
    {
        QFETCH(int, cell);
        QFETCH(QString, answer);
        QFETCH(QString, target);
        QFETCH(QString, refusal);
        makeMain();
        QByteArray jpeg = Encoded(Uniform({64, 48}, Qt::red), "jpeg");
        CipherInto(*dir / "holiday.veil", jpeg, Code, u".jpeg");
        CipherInto(*dir / "other.veil", jpeg, u"another code", u".jpeg");
        WriteBytes(*dir / "plain.veil", jpeg);  // a photo renamed
        fs::create_directory(*dir / "out");
        openInMain(*dir / "holiday.veil");
        const auto before = Tree(dir->path());
        this->answer({Q(*dir / answer.toStdString())});
        duringPresurvey([&](PreviewWindow &window) {
            pointAt(window, CellFrame(cell, 5).center());
            QTest::keyClick(&window, Qt::Key_C);
            QVERIFY(window.isVisible());
        });
        if (refusal.isEmpty()) {
            QCOMPARE(scripted->dialogs.requests.size(), 2);  // the open, then the copy
            QCOMPARE(scripted->dialogs.requests[1].proposedName, QString("holiday.jpeg"));
            QCOMPARE(scripted->dialogs.requests[1].startFolder, Q(dir->path()));
            QVERIFY(messages().isEmpty());
        } else {
            QCOMPARE(scripted->dialogs.requests.size(), 1);  // the open only: no name asked for
            QCOMPARE(messages(), QStringList{refusal});
        }
        auto expected = before;
        if (!target.isEmpty()) {
            expected.insert(target.toStdString());
            if (target.startsWith("The copied files"))
                expected.insert("The copied files");
            const auto copy = test::ReadFile(*dir / target.toStdString());
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(copy.data()), qsizetype(copy.size())), jpeg);
        }
        QCOMPARE(Tree(dir->path()), expected);
    }

    // A command of the grid on a photo that cannot be shown: picking it shows it in the main
    // window, which opens no box of its own behind the grid but says why in its status line;
    // the command says why on top of the grid, and asks for no name for a copy.
    void aPhotoThatCannotBeShownIsSaidOnTopOfTheGrid_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("said");  // the start of the one box shown; "" for the name box
        QTest::newRow("damaged, C") << 1 << int(Qt::Key_C) << "Cannot open file";
        QTest::newRow("damaged, V") << 1 << int(Qt::Key_V) << "";
        QTest::newRow("no picture inside, C") << 2 << int(Qt::Key_C) << "Cannot open file";
    }

    void aPhotoThatCannotBeShownIsSaidOnTopOfTheGrid()
    {
        QFETCH(int, cell);
        QFETCH(int, key);
        QFETCH(QString, said);
        makeMain();
        const fs::path plain = *dir / ".photo.jpg";
        WriteBytes(plain, Encoded(Uniform({90, 60}, Qt::red), "jpeg"));
        cipher::CipherEngine sealer;
        sealer.BuildKeyTable(Code);
        sealer.extension = cipher::Extension::fromText(u".jpg");
        for (const char *name : {"a.veil", "b.veil"})
            sealer.Cipfoto(plain, *dir / name, AtomicFile::Mode::Replace, imaging::MakePreview(Q(plain)));
        fs::remove(plain);
        auto bytes = ReadFile(*dir / "b.veil");
        bytes[bytes.size() - 100] ^= 0x20;  // in the photo: its preview still draws the cell
        WriteFile(*dir / "b.veil", bytes);
        CipherInto(*dir / "c.veil", QByteArray(500, 'x'), Code, u".png");
        openInMain(*dir / "a.veil");
        const QString name = QString(QChar(u"abc"[cell])) + ".veil";
        const auto before = Tree(dir->path());

        QPointer<PreviewWindow> grid;
        duringPresurvey([&](PreviewWindow &window) {
            grid = &window;
            pointAt(window, CellFrame(cell, 5).center());
            QTest::keyClick(&window, Qt::Key(key));
            QVERIFY(window.isVisible());
        });
        QCOMPARE(mainModel->folder.index(), cell);
        QCOMPARE(messages().size(), 1);
        if (said.isEmpty())
            QCOMPARE(messages()[0].split('\n').value(1), name);
        else
            QVERIFY2(messages()[0].startsWith(said) && messages()[0].contains(name), qPrintable(messages()[0]));
        QCOMPARE(scripted->messages.parents.size(), 1);
        QVERIFY(scripted->messages.parents[0] == grid);  // on top of the grid, not behind it
        QCOMPARE(scripted->dialogs.requests.size(), 1);  // the open only: no name asked for
        QVERIFY(main->findChild<ElidedLabel *>("Label1")->fullText().startsWith(name + ": "));
        QCOMPARE(Tree(dir->path()), before);
    }

    void viewFromTheCipheredPreview_data()
    {
        QTest::addColumn<bool>("bySpace");
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<QList<bool>>("topmostCalls");
        QTest::newRow("Space, in a window") << true << false << QList<bool>{};
        QTest::newRow("Space, full screen") << true << true << QList<bool>{false, true};
        QTest::newRow("double-click, full screen") << false << true << QList<bool>{false};
    }

    void viewFromTheCipheredPreview()
    {
        QFETCH(bool, bySpace);
        QFETCH(bool, fullScreen);
        QFETCH(QList<bool>, topmostCalls);
        makeMain();
        CipherInto(*dir / "a.veil", Encoded(Uniform({40, 30}, Qt::red), "png"), Code, u".png");
        CipherInto(*dir / "b.veil", Encoded(Uniform({40, 30}, Qt::green), "png"), Code, u".png");
        CipherInto(*dir / "c.veil", Encoded(Uniform({40, 30}, Qt::blue), "png"), Code, u".png");
        openInMain(*dir / "a.veil");
        if (fullScreen) {
            main->toggleFullScreen();
            QVERIFY(test::InFullScreen(main.get()));
        }
        scripted->windows.topmostCalls.clear();
        duringPresurvey([&](PreviewWindow &window) {
            const QPoint at = CellFrame(2, 5).center();
            pointAt(window, at);
            if (bySpace)
                QTest::keyClick(&window, Qt::Key_Space);
            else
                QTest::mouseDClick(test::Child<QLabel>(&window, "Image1"), Qt::LeftButton, {}, at);
            QVERIFY(!window.isVisible());
        });
        QCOMPARE(mainModel->folder.index(), 2);
        QCOMPARE(main->findChild<QLabel *>("Label1")->text(), Q(*dir / "c.veil"));
        QCOMPARE(scripted->windows.topmostCalls, topmostCalls);
    }

    void anotherFolderDiscardsTheKeptPreview()
    {
        makeMain();
        fs::create_directory(*dir / "one");
        fs::create_directory(*dir / "two");
        for (const char *name : {"one/a.veil", "one/b.veil", "two/c.veil", "two/d.veil", "two/e.veil"})
            CipherInto(*dir / name, Encoded(Uniform({40, 30}, Qt::red), "png"), Code, u".png");
        openInMain(*dir / "one/a.veil");
        QPointer<PreviewWindow> first;
        duringPresurvey([&](PreviewWindow &window) { first = &window; });
        QVERIFY(first);  // closed with its grid: kept
        QVERIFY(mainModel->preview.kept());
        QString count;
        duringPresurvey([&](PreviewWindow &window) {
            QCOMPARE(&window, first.data());
            count = test::Child<QLabel>(&window, "Label2")->text();
        });
        QCOMPARE(count, QString("2-0"));

        openInMain(*dir / "two/c.veil");
        QVERIFY(first.isNull());
        QVERIFY(!mainModel->preview.kept());
        QImage picture;
        duringPresurvey([&](PreviewWindow &window) {
            count = test::Child<QLabel>(&window, "Label2")->text();
            picture = test::Child<QLabel>(&window, "Image1")->pixmap().toImage();
        });
        QCOMPARE(count, QString("3-0"));
        QVERIFY(Framed(picture, 2, 5));
        QVERIFY(!Framed(picture, 3, 5));
    }
};

QTEST_MAIN(CipheredPreviewTest)
#include "tst_cipheredpreview.moc"
