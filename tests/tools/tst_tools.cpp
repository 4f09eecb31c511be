// The image tools driven as a user drives them: Compress, and every run over a small folder checked
// by decoding what it wrote, the stop keys, a long photo and the refusals.

#include "tools/toolsfixture.h"

#include <QtTest>

#include <random>

using namespace veilshot;
using namespace veilshot::tools;
using test::Bytes;
using test::Child;
using test::Click;
using test::FolderExists;
using test::Gradient;
using test::Q;
using test::SavePhoto;
namespace fs = std::filesystem;

class ToolsTest : public QObject, test::ToolsFixture {
    Q_OBJECT

private slots:
    void init() { setUpTools(); }
    void cleanup() { tearDownTools(); }

    // --- Compress ----------------------------------------------------------------------------

    void compressStartsAt70AndTheArrowsMoveBy2()
    {
        auto tool = open<TForm9g>();
        QCOMPARE(tool->windowTitle(), QStringLiteral("To compress a photo"));
        QCOMPARE(tool->size(), QSize(514, 223));
        // A title and a close box: a modal tool cannot be minimised out of sight.
        QVERIFY(tool->windowFlags().testFlag(Qt::CustomizeWindowHint));
        QVERIFY(!tool->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!tool->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        auto *slider = Child<QSlider>(tool.get(), "TrackBar1");
        QCOMPARE(slider->value(), 70);
        QCOMPARE(Child<QLabel>(tool.get(), "Label3")->text(), QStringLiteral("70"));
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Left);
        QCOMPARE(slider->value(), 72);
        QCOMPARE(Child<QLabel>(tool.get(), "Label3")->text(), QStringLiteral("72"));
        QVERIFY(!Child<QLabel>(tool.get(), "Label1")->isVisible());
        QVERIFY(!Child<QWidget>(tool.get(), "Panel4")->isVisible());
    }

    void compressAllWritesOneJpegForEachPhotoAndLeavesThePhotosAlone()
    {
        folderOfPhotos();
        const auto before = Bytes(*dir / "a.png");
        auto tool = open<TForm9g>();
        Child<QCheckBox>(tool.get(), "CheckBox1")->setChecked(true);
        answer({Q(*dir / "pics.old")});  // the folder is the name without its extension
        Click(tool.get(), "Panel1");

        QCOMPARE(scripted->dialogs.requests.last().proposedName, QStringLiteral("The compressed photo1"));
        QCOMPARE(dir->entries("pics"), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
        QCOMPARE(sizeOf(*dir / "pics/a.jpg"), QSize(64, 48));
        QCOMPARE(sizeOf(*dir / "pics/b.jpg"), QSize(40, 30));
        QCOMPARE(formatOf(*dir / "pics/b.jpg"), QByteArray("jpeg"));
        QVERIFY(Bytes(*dir / "a.png") == before);
        QVERIFY(Child<QLabel>(tool.get(), "Label1")->isVisible());
        QVERIFY(!Child<QWidget>(tool.get(), "Panel4")->isVisible());
        QCOMPARE(Child<QProgressBar>(tool.get(), "Gauge1")->value(), 0);
        QVERIFY(messages().isEmpty());
    }

    void compressOnePhotoAlwaysGivesAJpegAndNeverReplaces()
    {
        folderOfPhotos();
        auto tool = open<TForm9g>();
        answer({Q(*dir / "copy.bmp")});  // a PNG photo under a typed name
        Click(tool.get(), "Panel1");
        QCOMPARE(formatOf(*dir / "copy.bmp.jpg"), QByteArray("jpeg"));
        QVERIFY(Child<QLabel>(tool.get(), "Label1")->isVisible());

        model->folder.setIndex(3);  // c.jpg, offered in its own folder: the target is the photo itself
        const auto before = Bytes(*dir / "c.jpg");
        answer({Q(*dir / "c.jpg")});
        Click(tool.get(), "Panel1");
        QCOMPARE(messages(), QStringList{QLatin1String(SuchNameExistsMessage)});
        QVERIFY(Bytes(*dir / "c.jpg") == before);
        QVERIFY(!Child<QLabel>(tool.get(), "Label1")->isVisible());

        model->folder.setIndex(2);  // gone
        Click(tool.get(), "Panel1");
        QCOMPARE(messages().last(), QLatin1String(NoFileMessage));
    }

    void aPhotoThatCannotBeReadIsNamedAndNotCounted()
    {
        folderOfPhotos();
        test::WriteText(*dir / "broken.png", "\x89PNG\r\n\x1a\nno more");
        model->folder.replace({Q(*dir / "a.png"), Q(*dir / "broken.png"), Q(*dir / "b.bmp"), Q(*dir / "gone.png"),
                              Q(*dir / "c.jpg")},
                             0);
        auto tool = open<TForm9g>();
        Child<QCheckBox>(tool.get(), "CheckBox1")->setChecked(true);
        answer({Q(*dir / "out")});
        Click(tool.get(), "Panel1");
        QCOMPARE(dir->entries("out"), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
        QVERIFY(Child<QLabel>(tool.get(), "Label1")->isVisible());
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].startsWith(QLatin1String("These files were not written:\nbroken.png: ")), qPrintable(messages()[0]));

        // Nothing but that photo: the folder goes again, and the user learns why.
        model->folder.replace({Q(*dir / "broken.png")}, 0);
        answer({Q(*dir / "out2")});
        Click(tool.get(), "Panel1");
        QVERIFY(!fs::exists(*dir / "out2"));
        QVERIFY(!Child<QLabel>(tool.get(), "Label1")->isVisible());
        QCOMPARE(messages().size(), 2);
    }

    // --- Every run over the folder -----------------------------------------------------------

    void runs_data()
    {
        QTest::addColumn<int>("tool");  // 0 compress, 1 transform to PNG, 2 copy, 3 move, 4 scale
        QTest::addColumn<int>("stopKey");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("compress") << 0 << int(Qt::Key_Control) << "The compressed photo1";
        QTest::newRow("transform") << 1 << int(Qt::Key_S) << "Photo1 of a format png";
        QTest::newRow("copy") << 2 << int(Qt::Key_Control) << "Photo1 of a format bmp";
        QTest::newRow("move") << 3 << int(Qt::Key_Control) << "Photo1 of a format bmp";
        QTest::newRow("scale") << 4 << int(Qt::Key_Control) << "The scaled photo1";
    }

    // Sets the tool up for a run over the folder and starts it.
    void startRun(int kind, std::unique_ptr<ToolWindow> &tool)
    {
        switch (kind) {
        case 0:
            tool = open<TForm9g>();
            Child<QCheckBox>(tool.get(), "CheckBox1")->setChecked(true);
            break;
        case 1: {
            auto *transform = new TForm10g(*model, scripted->platform());
            tool.reset(transform);
            transform->show();
            transform->Label2Click();
            Child<QRadioButton>(transform, "RadioButton5")->setChecked(true);
            Child<QCheckBox>(transform, "CheckBox1")->setChecked(true);
            break;
        }
        case 2:
        case 3: {
            auto *transform = new TForm10g(*model, scripted->platform());
            tool.reset(transform);
            transform->show();
            kind == 2 ? transform->Label3Click() : transform->Label4Click();
            Child<QRadioButton>(transform, "RadioButton6")->setChecked(true);  // BMP
            break;
        }
        case 4: {
            auto *scale = new TForm11g(*model, scripted->platform());
            tool.reset(scale);
            scale->show();
            Child<QCheckBox>(scale, "CheckBox1")->click();
            Child<QLineEdit>(scale, "Edit1")->setText(QStringLiteral("2"));
            break;
        }
        }
        Click(tool.get(), "Panel1");
    }

    void runs()
    {
        QFETCH(int, tool);
        QFETCH(QString, proposed);
        folderOfPhotos();
        std::unique_ptr<ToolWindow> window;
        answer({Q(*dir / "out")});
        startRun(tool, window);
        QCOMPARE(scripted->dialogs.requests.last().proposedName, proposed);
        QVERIFY(Child<QLabel>(window.get(), "Label1")->isVisible());
        QVERIFY(messages().isEmpty());
        switch (tool) {
        case 0: QCOMPARE(dir->entries("out"), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"})); break;
        case 1:
            QCOMPARE(dir->entries("out"), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
            QCOMPARE(formatOf(*dir / "out/c.png"), QByteArray("png"));
            QCOMPARE(sizeOf(*dir / "out/c.png"), QSize(80, 60));
            break;
        case 2:
            QCOMPARE(dir->entries("out"), std::vector<std::string>{"b.bmp"});
            QVERIFY(Bytes(*dir / "out/b.bmp") == Bytes(*dir / "b.bmp"));
            break;
        case 3:
            QCOMPARE(dir->entries("out"), std::vector<std::string>{"b.bmp"});
            QVERIFY(!fs::exists(*dir / "b.bmp"));
            QCOMPARE(model->folder.at(1), Q(*dir / "b.bmp"));  // the list still names it
            break;
        case 4:
            QCOMPARE(dir->entries("out"), (std::vector<std::string>{"a.png", "b.bmp", "c.jpg"}));
            QCOMPARE(sizeOf(*dir / "out/a.png"), QSize(32, 24));
            QCOMPARE(sizeOf(*dir / "out/b.bmp"), QSize(20, 15));
            QCOMPARE(formatOf(*dir / "out/b.bmp"), QByteArray("bmp"));
            QCOMPARE(formatOf(*dir / "out/c.jpg"), QByteArray("jpeg"));
            break;
        }
    }

    void theStopKeyHeldAtTheStartWritesNothing_data() { runs_data(); }
    void theStopKeyHeldAtTheStartWritesNothing()
    {
        QFETCH(int, tool);
        QFETCH(int, stopKey);
        folderOfPhotos();
        scripted->keys.held = {stopKey};
        std::unique_ptr<ToolWindow> window;
        answer({Q(*dir / "out")});
        startRun(tool, window);
        QVERIFY(!fs::exists(*dir / "out"));
        QVERIFY(!Child<QLabel>(window.get(), "Label1")->isVisible());
        QCOMPARE(messages(), QStringList{WorkStoppedMessage});  // stopped, not failed
        QVERIFY(fs::exists(*dir / "b.bmp"));
        if (tool == 1)  // transform-all stops on S alone: Ctrl does not stop it
            QVERIFY(!scripted->keys.held.contains(int(Qt::Key_Control)));
    }

    void theStopKeyEndsTheRunAfterTheFilesInHand()
    {
        folderOfPhotos();
        std::unique_ptr<ToolWindow> window;
        int reads = 0;
        scripted->keys.beforeRead = [&](int key) {
            if (key == Qt::Key_Control && ++reads == 2)
                scripted->keys.held = {Qt::Key_Control};
        };
        answer({Q(*dir / "out")});
        startRun(0, window);
        // One photo was in hand at the second read; the threads may have taken no other.
        const auto written = dir->entries("out");
        QVERIFY(!written.empty());
        QVERIFY(written.size() < 3);
        QVERIFY(Child<QLabel>(window.get(), "Label1")->isVisible());
    }

    // --- One photo that takes long ------------------------------------------------------------

    void oneLongPhotoShowsHowFarItHasComeAndItsStopKeyAbandonsIt_data()
    {
        QTest::addColumn<int>("tool");  // 0 compress, 1 transform to PNG, 2 scale to PNG
        QTest::addColumn<int>("stopKey");
        QTest::addColumn<QString>("message");
        // A stop asked for is said as such, not as a failure.
        QTest::newRow("compress") << 0 << int(Qt::Key_Control) << QString(WorkStoppedMessage);
        QTest::newRow("transform") << 1 << int(Qt::Key_S) << QString(WorkStoppedMessage);
        QTest::newRow("scale") << 2 << int(Qt::Key_Control) << QString(WorkStoppedMessage);
    }
    void oneLongPhotoShowsHowFarItHasComeAndItsStopKeyAbandonsIt()
    {
        QFETCH(int, tool);
        QFETCH(int, stopKey);
        QFETCH(QString, message);
        // 12 MP of noise: its encoding lasts well past the gauge's first readings.
        const QSize size(4000, 3000);
        QImage noise(size, QImage::Format_RGB32);
        std::mt19937 random(3);
        for (int y = 0; y < size.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                line[x] = random() | 0xFF000000u;
        }
        fs::create_directory(*dir / "src");
        const fs::path source = *dir / "src/big.bmp";
        QVERIFY(noise.save(Q(source), "bmp"));
        model->folder.replace({Q(source)}, 0);
        model->PhotoWidth = size.width();
        model->PhotoHeight = size.height();

        std::unique_ptr<ToolWindow> window;
        switch (tool) {
        case 0: window = open<TForm9g>(); break;
        case 1: {
            auto transform = open<TForm10g>();
            transform->Label2Click();
            Child<QRadioButton>(transform.get(), "RadioButton5")->setChecked(true);
            window = std::move(transform);
            break;
        }
        case 2:
            window = open<TForm11g>();
            QTest::keyClicks(Child<QLineEdit>(window.get(), "Edit3"), QStringLiteral("3998"));
            Child<QRadioButton>(window.get(), "RadioButton5")->setChecked(true);
            break;
        }
        window->setProgressDelay(std::chrono::milliseconds(0));
        // Held halfway, its encoding begun, until the key stops it: the work cannot end before
        // the window reads the key, however fast or loaded the machine.
        window->setHoldAt(imaging::Progress::Whole / 2);
        auto *gauge = Child<QProgressBar>(window.get(), "Gauge1");
        // The key goes down once the gauge has shown the photo decoded and its encoding begun.
        int shown = 0;
        scripted->keys.beforeRead = [&](int key) {
            const int value = gauge->value();
            if (key == stopKey && gauge->isVisible() && value > 0 && value < gauge->maximum()) {
                shown = std::max(shown, value);
                scripted->keys.held = {stopKey};
            }
        };
        answer({Q(*dir / "big.png")});
        Click(window.get(), "Panel1");

        QVERIFY(shown > 0);
        QCOMPARE(dir->entries(), std::vector<std::string>{"src"});  // nothing written, no temporary file
        QCOMPARE(dir->entries("src"), std::vector<std::string>{"big.bmp"});
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(!Child<QLabel>(window.get(), "Label1")->isVisible());
        QCOMPARE(gauge->value(), 0);
    }

    void transformAllIsNotStoppedByCtrl()
    {
        folderOfPhotos();
        scripted->keys.held = {Qt::Key_Control};
        std::unique_ptr<ToolWindow> window;
        answer({Q(*dir / "out")});
        startRun(1, window);
        QCOMPARE(dir->entries("out").size(), std::size_t(3));
    }

    void anExistingFolderIsRefusedBeforeAnythingIsWritten_data() { runs_data(); }
    void anExistingFolderIsRefusedBeforeAnythingIsWritten()
    {
        QFETCH(int, tool);
        folderOfPhotos();
        fs::create_directory(*dir / "out");
        std::unique_ptr<ToolWindow> window;
        answer({Q(*dir / "out")});
        startRun(tool, window);
        QVERIFY(scripted->dialogs.requests.last().newFolder);  // the dialog hands the name back
        QCOMPARE(messages(), QStringList{QLatin1String(FolderExists)});
        QVERIFY(dir->entries("out").empty());

        // A file of that name: nothing happens, nothing is said.
        test::WriteText(*dir / "taken", "x");
        answer({Q(*dir / "taken")});
        Click(window.get(), "Panel1");
        QCOMPARE(messages().size(), 1);
        QCOMPARE(dir->entries().size(), std::size_t(5));  // a.png b.bmp c.jpg out taken
    }

    void closingDuringARunStopsItThenCloses()
    {
        folderOfPhotos();
        std::unique_ptr<ToolWindow> window;
        scripted->keys.beforeRead = [&](int) {
            if (window && window->isVisible())
                window->close();
        };
        answer({Q(*dir / "out")});
        auto *compress = new TForm9g(*model, scripted->platform());
        window.reset(compress);
        compress->show();
        Child<QCheckBox>(compress, "CheckBox1")->setChecked(true);
        Click(compress, "Panel1");
        QVERIFY(!fs::exists(*dir / "out"));  // stopped before the first photo
        QTRY_VERIFY(!compress->isVisible());
    }

};

QTEST_MAIN(ToolsTest)
#include "tst_tools.moc"
