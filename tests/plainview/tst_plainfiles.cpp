// The plain viewer's commands on the photo's file, driven as a user drives them: turning it in
// its file, setting it as the wallpaper, copying and moving it.

#include "plainview/plainviewerfixture.h"

#include <QtTest>

using namespace veilshot;
namespace fs = std::filesystem;

using test::FormatOf;
using test::Marked;
using test::Near;
using test::Q;
using test::ReadPicture;
using test::Save;

class PlainFilesTest : public QObject, test::PlainViewerFixture {
    Q_OBJECT

private slots:
    void init() { setUpViewer(); }
    void cleanup() { tearDownViewer(); }

    // --- Turning ---------------------------------------------------------------------------

    void turnsThePhotoInItsFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("turned");
        QTest::newRow("jpg right") << "a.jpg" << QByteArray("jpeg") << false << true;
        QTest::newRow("jpg left") << "a.jpg" << QByteArray("jpeg") << true << true;
        QTest::newRow("jpeg stays a JPEG") << "a.jpeg" << QByteArray("jpeg") << false << true;
        QTest::newRow("png left") << "a.png" << QByteArray("png") << true << true;
        QTest::newRow("bmp right") << "a.BMP" << QByteArray("bmp") << false << true;
        QTest::newRow("gif left") << "a.gif" << QByteArray("gif") << true << true;
        QTest::newRow("tif right") << "a.tif" << QByteArray("tiff") << false << true;
        QTest::newRow("tiff is not turned") << "a.tiff" << QByteArray("tiff") << false << false;
        // The name alone decides: these hold bytes of a kind that is turned elsewhere.
        QTest::newRow("jpe is not turned") << "a.jpe" << QByteArray("jpeg") << false << false;
        QTest::newRow("ico is not turned") << "a.ico" << QByteArray("png") << true << false;
    }

    void turnsThePhotoInItsFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, format);
        QFETCH(bool, left);
        QFETCH(bool, turned);
        const fs::path file = *dir / name.toStdString();
        Save(file, Marked(), format.constData());
        const auto before = test::ReadFile(file);
        open(file);
        QCOMPARE(model->PhotoWidth, 400);

        key(left ? Qt::Key_F : Qt::Key_G);
        QVERIFY(messages().isEmpty());
        QCOMPARE(dir->entries(), std::vector<std::string>{name.toStdString()});
        if (!turned) {
            QCOMPARE(test::ReadFile(file), before);
            QCOMPARE(model->PhotoWidth, 400);
            return;
        }
        QCOMPARE(FormatOf(file), format);
        const QImage picture = ReadPicture(file);
        QCOMPARE(picture.size(), QSize(300, 400));
        // Right: top-left to top-right, top-right to bottom-right. Left: top-left to
        // bottom-left, top-right to top-left.
        const QPoint red = left ? QPoint(20, 379) : QPoint(279, 20);
        const QPoint blue = left ? QPoint(20, 20) : QPoint(279, 379);
        QVERIFY2(Near(picture.pixel(red), Qt::red, 47), "red corner");
        QVERIFY2(Near(picture.pixel(blue), Qt::blue, 47), "blue corner");
        QVERIFY(Near(picture.pixel(150, 200), Qt::white, 47));
        // And the viewer shows the turned photo.
        QCOMPARE(model->PhotoWidth, 300);
        QCOMPARE(model->PhotoHeight, 400);
        const QImage seen = shown();
        QVERIFY(std::abs(seen.width() * 4 - seen.height() * 3) <= 4);  // upright: 3 wide, 4 high
        const double scale = seen.width() / 300.0;
        QVERIFY(Near(seen.pixel(int(red.x() * scale), int(red.y() * scale)), Qt::red, 47));
    }

    // Esc during a long turn abandons it, held or only tapped: the file stays as it was, the
    // photo is shown again and the status line says that the turn was stopped.
    void escapeAbandonsALongTurn_data()
    {
        QTest::addColumn<bool>("tapped");
        QTest::newRow("held") << false;
        QTest::newRow("tapped") << true;
    }

    void escapeAbandonsALongTurn()
    {
        QFETCH(bool, tapped);
        QImage noise(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.setPixel(x, y, qRgb((x * 7 + y) & 0xFF, (x * y) & 0xFF, (x ^ y) & 0xFF));
        const fs::path file = *dir / "big.png";
        Save(file, noise, "png");
        const auto before = test::ReadFile(file);
        open(file);
        if (tapped)
            QTimer::singleShot(100, viewer.get(), [this] { key(Qt::Key_Escape); });  // while it turns
        else
            scripted->keys.held = {Qt::Key_Escape};
        key(Qt::Key_G);
        scripted->keys.held.clear();
        QVERIFY(messages().isEmpty());
        QCOMPARE(test::ReadFile(file), before);
        QCOMPARE(dir->entries(), std::vector<std::string>{"big.png"});  // no temporary file left
        // Said as a stop, the path kept: the photo shown is that file still.
        QCOMPARE(child<ElidedLabel>("Label1")->fullText(), QString::fromUtf8(TurnStopped) + "   " + Q(file));
        QVERIFY(test::ShowsPicture(viewer.get()));
        QCOMPARE(model->PhotoWidth, 4000);
    }

    // A photo of a format that is read but never written is not turned, and the user is told why.
    void aPhotoWithoutAnEncoderIsNotTurnedAndSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"a.heic", "a.HEIF", "a.avif", "a.webp", "a.jxl"})
            QTest::newRow(name) << name;
    }

    void aPhotoWithoutAnEncoderIsNotTurnedAndSaysWhy()
    {
        QFETCH(QString, name);
        const fs::path file = *dir / name.toStdString();
        Save(file, {60, 40}, "png");  // read by its content
        const auto before = test::ReadFile(file);
        open(file);
        QVERIFY(test::ShowsPicture(viewer.get()));
        key(Qt::Key_G);
        action("F1")->trigger();
        QCOMPARE(messages(), QStringList(2, QString::fromUtf8(NotTurnedMessage)));
        QCOMPARE(test::ReadFile(file), before);
        QCOMPARE(label1(), Q(file));
    }

    void fourRightTurnsGiveThePngBack()
    {
        QImage original(37, 23, QImage::Format_RGB32);
        for (int y = 0; y < original.height(); ++y)
            for (int x = 0; x < original.width(); ++x)
                original.setPixel(x, y, qRgb(x * 7, y * 11, (x + y) * 3));
        Save(*dir / "a.png", original, "png");
        open(*dir / "a.png");
        for (int turn = 0; turn < 4; ++turn)
            action("pG1")->trigger();
        QVERIFY(messages().isEmpty());
        QCOMPARE(ReadPicture(*dir / "a.png").convertToFormat(QImage::Format_RGB32), original);
    }

    void leftRequestEndsWithAFileThatIsNotTurned()
    {
        Save(*dir / "a.ico", Marked({32, 24}), "ico");
        Save(*dir / "b.jpg", Marked(), "jpeg");
        open(*dir / "a.ico");
        const auto icon = test::ReadFile(*dir / "a.ico");
        key(Qt::Key_F);
        QCOMPARE(test::ReadFile(*dir / "a.ico"), icon);
        key(Qt::Key_Right);
        QCOMPARE(label1(), Q(*dir / "b.jpg"));
        key(Qt::Key_G);
        const QImage turned = ReadPicture(*dir / "b.jpg");
        QCOMPARE(turned.size(), QSize(300, 400));
        QVERIFY2(Near(turned.pixel(279, 20), Qt::red, 47), "turned right, not left");
    }

    void turnStopsTheSlideShow()
    {
        Save(*dir / "a.png", {40, 30});
        Save(*dir / "b.png", {40, 30});
        key(Qt::Key_1);
        open(*dir / "a.png");
        QVERIFY(timer1()->isActive());
        key(Qt::Key_G);
        QVERIFY(!timer1()->isActive());
        QCOMPARE(panel("Panel4")->colour(), QColor(24, 167, 153));
    }

    void aFailedTurnSaysSoAndLeavesTheFile()
    {
        test::WriteText(*dir / "bad.png", "these bytes are no picture");
        open(*dir / "bad.png");
        messages().clear();
        key(Qt::Key_G);
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].startsWith("Cannot open file \"" + Q(*dir / "bad.png") + "\""), qPrintable(messages()[0]));
        QCOMPARE(test::ReadFile(*dir / "bad.png").size(), std::size_t(26));
        QCOMPARE(dir->entries(), std::vector<std::string>{"bad.png"});
    }

    // What the window shows and what its commands act on stay one file: a file that is no
    // picture shows its own path and number, an empty picture area, and the message.
    void anUndecodableFileIsTheOneShownAndActedOn_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("forward") << int(Qt::Key_Right);
        QTest::newRow("back") << int(Qt::Key_Left);
    }

    void anUndecodableFileIsTheOneShownAndActedOn()
    {
        QFETCH(int, step);
        Save(*dir / "a.png", Marked({60, 40}), "png");
        test::WriteText(*dir / "b.png", "random bytes, not a picture");
        Save(*dir / "c.png", Marked({60, 40}), "png");
        open(*dir / (step == Qt::Key_Right ? "a.png" : "c.png"));
        QVERIFY(test::ShowsPicture(viewer.get()));
        key(step);
        QCOMPARE(model->folder.index(), 1);
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages().constFirst().contains(Q(*dir / "b.png")));
        QCOMPARE(label1(), Q(*dir / "b.png"));
        QCOMPARE(child<QLabel>("Label2")->text(), QString("1"));
        QVERIFY(!test::ShowsPicture(viewer.get()));
        {
            test::ExpectModal confirm([](QWidget *modal) {
                QCOMPARE(test::Child<QLabel>(modal, "Label2")->text(), QString("\"b.png\""));
                modal->findChild<PanelButton *>("Panel1")->click();  // "Yes"
            });
            action("mn6")->trigger();
        }
        QVERIFY(!fs::exists(*dir / "b.png"));
        QVERIFY(fs::exists(*dir / "a.png") && fs::exists(*dir / "c.png"));
    }

    void turningAFileThatIsGoneShowsTheNoFileText()
    {
        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        fs::remove(*dir / "a.png");
        key(Qt::Key_G);
        QCOMPARE(label1(), QString(NoFileText));
        QVERIFY(dir->entries().empty());
        QVERIFY(messages().isEmpty());
    }

    // --- Wallpaper -------------------------------------------------------------------------

    void tableSetsTheWallpaper_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("desktopWorks");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("the shown photo") << false << true << true << QStringList();
        QTest::newRow("file gone") << true << true << false << QStringList{NoFileMessage};
        QTest::newRow("desktop refuses") << false << false << true
                                         << QStringList{"The wallpaper could not be set on this desktop."};
    }

    void tableSetsTheWallpaper()
    {
        QFETCH(bool, removed);
        QFETCH(bool, desktopWorks);
        QFETCH(bool, applied);
        QFETCH(QStringList, said);
        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        if (removed)
            fs::remove(*dir / "a.png");
        scripted->wallpaper.works = desktopWorks;
        panel("Panel1")->click();
        QCOMPARE(scripted->wallpaper.applied, applied ? QStringList{Q(*dir / "a.png")} : QStringList());
        QCOMPARE(messages(), said);
    }

    void f2SetsTheWallpaperOnlyWhileTableIsEnabled()
    {
        viewer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(viewer.get()));
        key(Qt::Key_F2);
        QVERIFY(scripted->wallpaper.applied.isEmpty());
        QVERIFY(messages().isEmpty());

        Save(*dir / "a.png", {40, 30});
        open(*dir / "a.png");
        QVERIFY(QTest::qWaitForWindowActive(viewer.get()));
        key(Qt::Key_F2);
        QCOMPARE(scripted->wallpaper.applied, QStringList{Q(*dir / "a.png")});
    }

    // --- Copy ------------------------------------------------------------------------------

    void copyLandsInTheCopiedFilesFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("made");
        QTest::newRow("proposed name") << "a.jpg" << "a.jpg";
        QTest::newRow("no extension") << "b" << "b.jpg";
        QTest::newRow("extension in other letter case") << "b.JPG" << "b.JPG.jpg";
    }

    void copyLandsInTheCopiedFilesFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, made);
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.jpg", Marked(), "jpeg");
        open(*dir / "photos" / "a.jpg");
        scripted->dialogs.answers.enqueue({Q(*dir / "dest") + "/" + typed});
        panel("Panel7")->click();
        const auto &request = scripted->dialogs.requests.last();
        QCOMPARE(request.startFolder, Q(*dir / "photos"));
        QCOMPARE(request.proposedName, QString("a.jpg"));
        QCOMPARE(dir->entries("dest/The copied files"), std::vector<std::string>{made.toStdString()});
        QCOMPARE(test::ReadFile(*dir / "dest" / "The copied files" / made.toStdString()),
                 test::ReadFile(*dir / "photos" / "a.jpg"));
        QVERIFY(messages().isEmpty());
    }

    // Moving asks beside the photo, never in the program's working folder.
    void moveAsksBesideThePhoto()
    {
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.jpg", Marked(), "jpeg");
        open(*dir / "photos" / "a.jpg");
        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "b")});
        action("mn5")->trigger();
        const auto &request = scripted->dialogs.requests.last();
        QCOMPARE(request.startFolder, Q(*dir / "photos"));
        QCOMPARE(request.proposedName, QString("a.jpg"));
        QVERIFY(fs::exists(*dir / "dest" / "b.jpg"));
        QVERIFY(!fs::exists(*dir / "photos" / "a.jpg"));
    }

    void copyRefusesAnExistingNameAndStartsWhereItLastCopied()
    {
        fs::create_directories(*dir / "photos");
        fs::create_directories(*dir / "dest");
        Save(*dir / "photos" / "a.png", {40, 30});
        open(*dir / "photos" / "a.png");
        const fs::path copy = *dir / "dest" / "The copied files" / "a.png";

        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "a.png")});
        key(Qt::Key_Up);
        QVERIFY(fs::exists(copy));
        test::WriteText(copy, "kept");

        scripted->dialogs.answers.enqueue({Q(*dir / "dest" / "a.png")});
        action("mn4")->trigger();
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(*dir / "dest"));
        QCOMPARE(messages(), QStringList{SuchNameExistsMessage});
        QCOMPARE(test::ReadFile(copy).size(), std::size_t(4));

        fs::remove_all(*dir / "dest");
        panel("Panel7")->click();  // cancelled
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(*dir / "photos"));
        QCOMPARE(messages().size(), 1);
    }

};

QTEST_MAIN(PlainFilesTest)
#include "tst_plainfiles.moc"
