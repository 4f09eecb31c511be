// The three image tools driven as a user drives them: runs over a small folder checked by
// decoding what they wrote, the stop keys, the refusals, and the scale tool's edits.

#include "common/qtpath.h"
#include "common/windowfixture.h"
#include "imaging/imaging.h"
#include "tools/compresswindow.h"
#include "tools/scalewindow.h"
#include "tools/transformwindow.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QCheckBox>
#include <QClipboard>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

#include <random>

using namespace veilshot;
using namespace veilshot::tools;
using test::Child;
using test::Q;
namespace fs = std::filesystem;

namespace {

constexpr auto FolderExists = "The folder with this name already exists";

QImage Gradient(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 5) & 0xFF, (y * 3) & 0xFF, (x + y) & 0xFF));
    return image;
}

void SavePhoto(const fs::path &file, QSize size, const char *format)
{
    QVERIFY2(Gradient(size).save(Q(file), format), file.c_str());
}

std::vector<std::uint8_t> Bytes(const fs::path &file)
{
    return test::ReadFile(file);
}

void Click(QWidget *window, const char *panel)
{
    PanelButton *button = Child<PanelButton>(window, panel);
    QVERIFY2(button, panel);
    button->click();
}

}  // namespace

class ToolsTest : public QObject, public test::WindowFixture {
    Q_OBJECT

    std::unique_ptr<PlainModel> model;

    // A folder of the viewer: a.png 64 x 48, b.bmp 40 x 30, c.jpg 80 x 60, and a listed file
    // that is gone.
    void folderOfPhotos()
    {
        SavePhoto(*dir / "a.png", {64, 48}, "png");
        SavePhoto(*dir / "b.bmp", {40, 30}, "bmp");
        SavePhoto(*dir / "c.jpg", {80, 60}, "jpeg");
        model->folder.replace({Q(*dir / "a.png"), Q(*dir / "b.bmp"), Q(*dir / "gone.png"), Q(*dir / "c.jpg")}, 0);
        model->PhotoWidth = 64;
        model->PhotoHeight = 48;
    }

    template <typename Tool>
    std::unique_ptr<Tool> open()
    {
        auto tool = std::make_unique<Tool>(*model, scripted->platform());
        tool->show();
        return tool;
    }

    QSize sizeOf(const fs::path &file) { return QImageReader(Q(file)).size(); }
    QByteArray formatOf(const fs::path &file) { return QImageReader(Q(file)).format(); }

private slots:
    void init()
    {
        setUpFixture();
        model = std::make_unique<PlainModel>();
    }
    void cleanup() { tearDownFixture(); }

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

    // --- Transform ---------------------------------------------------------------------------

    void transformDoesNothingUntilACommandAndATargetAreChosen()
    {
        folderOfPhotos();
        auto tool = open<TForm10g>();
        QCOMPARE(tool->windowTitle(), QStringLiteral("To transform a photo"));
        QVERIFY(!Child<QWidget>(tool.get(), "Panel3")->isVisible());
        Click(tool.get(), "Panel1");
        tool->Label2Click();
        QVERIFY(Child<QWidget>(tool.get(), "Panel3")->isVisible());
        QVERIFY(!Child<QWidget>(tool.get(), "Panel4")->isVisible());
        QCOMPARE(Child<QLabel>(tool.get(), "Label2")->palette().color(QPalette::WindowText), QColor(Qt::red));
        Click(tool.get(), "Panel1");
        QVERIFY(scripted->dialogs.requests.isEmpty());

        tool->Label3Click();
        QVERIFY(Child<QWidget>(tool.get(), "Panel4")->isVisible());
        QVERIFY(Child<QRadioButton>(tool.get(), "RadioButton7")->isChecked());
        QCOMPARE(Child<QLabel>(tool.get(), "Label2")->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(Child<QLabel>(tool.get(), "Label3")->palette().color(QPalette::WindowText), QColor(Qt::red));
    }

    // Each format group keeps exactly one choice: clicking the checked one (twice, as a
    // double-click does) leaves it checked, and a choice in one group never clears the other.
    void everyFormatGroupKeepsOneChoice_data()
    {
        QTest::addColumn<bool>("scale");
        QTest::addColumn<QList<int>>("group");
        QTest::addColumn<QList<int>>("other");
        QTest::newRow("transform targets") << false << QList<int>{1, 2, 3, 4, 5} << QList<int>{6, 7};
        QTest::newRow("transform kinds") << false << QList<int>{6, 7, 8, 9, 10, 11, 12, 13} << QList<int>{1, 5};
        QTest::newRow("scale formats") << true << QList<int>{1, 2, 3, 4, 5} << QList<int>{};
    }
    void everyFormatGroupKeepsOneChoice()
    {
        QFETCH(bool, scale);
        QFETCH(QList<int>, group);
        QFETCH(QList<int>, other);
        folderOfPhotos();
        std::unique_ptr<ToolWindow> tool;
        if (scale)
            tool = open<TForm11g>();
        else
            tool = open<TForm10g>();
        auto radio = [&](int n) {
            return Child<QRadioButton>(tool.get(), qPrintable(QStringLiteral("RadioButton%1").arg(n)));
        };
        if (!other.isEmpty())
            radio(other.last())->click();
        for (int n : group) {
            radio(n)->click();
            radio(n)->click();
            for (int m : group)
                QCOMPARE(radio(m)->isChecked(), m == n);
            if (!other.isEmpty())
                QVERIFY(radio(other.last())->isChecked());
        }
    }

    void transformOnePhotoByTheNameRules_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("name kept") << "a.JPG" << "a.png";
        QTest::newRow("no extension") << "b" << "b.png";
        QTest::newRow("another extension") << "b.gif" << "b.gif.png";
    }
    void transformOnePhotoByTheNameRules()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        SavePhoto(*dir / "a.JPG", {50, 20}, "jpeg");
        model->folder.replace({Q(*dir / "a.JPG")}, 0);
        auto tool = open<TForm10g>();
        tool->Label2Click();
        Child<QRadioButton>(tool.get(), "RadioButton5")->setChecked(true);
        answer({Q(dir->path()) + QLatin1Char('/') + typed});
        Click(tool.get(), "Panel1");
        QCOMPARE(scripted->dialogs.requests.last().proposedName, QStringLiteral("a.JPG"));
        const fs::path out = *dir / written.toStdString();
        QCOMPARE(formatOf(out), QByteArray("png"));
        QCOMPARE(sizeOf(out), QSize(50, 20));
        QVERIFY(Child<QLabel>(tool.get(), "Label1")->isVisible());
    }

    void transformOfAPhotoThatCannotBeReadSaysSo()
    {
        test::WriteText(*dir / "a.png", "\x89PNG\r\n\x1a\nno more");
        model->folder.replace({Q(*dir / "a.png")}, 0);
        auto tool = open<TForm10g>();
        tool->Label2Click();
        Child<QRadioButton>(tool.get(), "RadioButton4")->setChecked(true);
        answer({Q(*dir / "a.png")});
        Click(tool.get(), "Panel1");
        QCOMPARE(messages(), QStringList{QStringLiteral("This file will not be transformed to a format tif type")});
        QVERIFY(!fs::exists(*dir / "a.tif"));
    }

    void twoPhotosOfOneNameGiveOneFileAndTheLaterIsNamed()
    {
        SavePhoto(*dir / "a.jpg", {30, 30}, "jpeg");
        SavePhoto(*dir / "a.bmp", {20, 20}, "bmp");
        model->folder.replace({Q(*dir / "a.bmp"), Q(*dir / "a.jpg")}, 0);
        auto tool = open<TForm10g>();
        tool->Label2Click();
        Child<QRadioButton>(tool.get(), "RadioButton5")->setChecked(true);
        Child<QCheckBox>(tool.get(), "CheckBox1")->setChecked(true);
        answer({Q(*dir / "out")});
        Click(tool.get(), "Panel1");
        QCOMPARE(dir->entries("out"), std::vector<std::string>{"a.png"});
        QCOMPARE(sizeOf(*dir / "out/a.png"), QSize(20, 20));  // the earlier one
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].contains(QLatin1String("\na.jpg: another file of this run")), qPrintable(messages()[0]));
    }

    void copyAndMoveByFormat_data()
    {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("oneExpansion");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("copy") << false << false << QStringList{"a.jpeg", "b.jfif", "c.JPG"};
        QTest::newRow("copy, one expansion") << false << true << QStringList{"a.jpg", "b.jpg", "c.jpg"};
        QTest::newRow("move, one expansion") << true << true << QStringList{"a.jpg", "b.jpg", "c.jpg"};
    }
    void copyAndMoveByFormat()
    {
        QFETCH(bool, move);
        QFETCH(bool, oneExpansion);
        QFETCH(QStringList, expected);
        for (const char *name : {"a.jpeg", "b.jfif", "c.JPG"})
            SavePhoto(*dir / name, {16, 16}, "jpeg");
        SavePhoto(*dir / "d.png", {16, 16}, "png");
        QStringList photos;
        for (const char *name : {"a.jpeg", "b.jfif", "c.JPG", "d.png"})
            photos << Q(*dir / name);
        model->folder.replace(photos, 0);
        auto tool = open<TForm10g>();
        move ? tool->Label4Click() : tool->Label3Click();
        Child<QCheckBox>(tool.get(), "CheckBox2")->setChecked(oneExpansion);
        answer({Q(*dir / "out")});
        Click(tool.get(), "Panel1");
        QCOMPARE(scripted->dialogs.requests.last().proposedName, QStringLiteral("Photo1 of a format jpg"));
        std::vector<std::string> want;
        for (const QString &name : expected)
            want.push_back(name.toStdString());
        QCOMPARE(dir->entries("out"), want);
        QCOMPARE(fs::exists(*dir / "a.jpeg"), !move);
        QVERIFY(fs::exists(*dir / "d.png"));

        // No file of the format: no folder is left behind, and nothing is said.
        Child<QRadioButton>(tool.get(), "RadioButton13")->setChecked(true);  // ICO
        answer({Q(*dir / "icons")});
        Click(tool.get(), "Panel1");
        QVERIFY(!fs::exists(*dir / "icons"));
        QVERIFY(messages().isEmpty());
    }

    // --- Scale -------------------------------------------------------------------------------

    void widthAndHeightKeepTheProportionWhileTyping()
    {
        model->PhotoWidth = 1000;
        model->PhotoHeight = 500;
        auto tool = open<TForm11g>();
        QCOMPARE(tool->windowTitle(), QStringLiteral("Scaling of the Photo"));
        QCOMPARE(Child<QLabel>(tool.get(), "Label4")->text(), QStringLiteral("1000 / 500"));
        auto *width = Child<QLineEdit>(tool.get(), "Edit3");
        auto *height = Child<QLineEdit>(tool.get(), "Edit4");
        QTest::keyClicks(width, QStringLiteral("400"));
        QCOMPARE(width->text(), QStringLiteral("400"));
        QCOMPARE(height->text(), QStringLiteral("200"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(width, Qt::Key_Backspace);
        QCOMPARE(height->text(), QString());

        QTest::keyClicks(height, QStringLiteral("301"));
        QCOMPARE(width->text(), QStringLiteral("602"));
        QCOMPARE(height->text(), QStringLiteral("301"));  // not echoed back
    }

    void theEditsTakeMainRowDigitsDeleteAndBackspaceOnly()
    {
        auto tool = open<TForm11g>();
        auto *edit = Child<QLineEdit>(tool.get(), "Edit1");
        QTest::keyClicks(edit, QStringLiteral("12a-,.3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
        QTest::keyClick(edit, Qt::Key_5, Qt::KeypadModifier);
        QCOMPARE(edit->text(), QStringLiteral("123"));
        QApplication::clipboard()->setText(QStringLiteral("9"));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), QStringLiteral("123"));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QStringLiteral("23"));
        QTest::keyClicks(edit, QStringLiteral("456789"));
        QCOMPARE(edit->text().size(), 7);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Backspace);
        const QString six = edit->text();
        QCOMPARE(six.size(), 6);
        QTest::keyClick(edit, '!', Qt::ShiftModifier);
        QGuiApplication::clipboard()->setText(QStringLiteral("8"), QClipboard::Selection);
        QTest::mouseClick(edit, Qt::MiddleButton);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);  // no undoing either
        QCOMPARE(edit->text(), six);
        QVERIFY(!edit->isReadOnly());  // so that its text cursor shows
    }

    void theResultAndItsLimits_data()
    {
        QTest::addColumn<QString>("whole");
        QTest::addColumn<QString>("fraction");
        QTest::addColumn<QString>("result");   // Label5 after "Result"
        QTest::addColumn<QString>("message");  // or the message it gives
        QTest::addColumn<QString>("execute");  // what "To execute" says then
        QTest::newRow("2") << "2" << "" << "500 / 250" << "" << "";
        QTest::newRow("0,5") << "0" << "5" << "2000 / 1000" << "" << "";
        QTest::newRow("100000 wide") << "0" << "01" << "100000 / 50000" << "" << "The big scale";
        QTest::newRow("too wide") << "0" << "009" << "" << "The big scale" << "The big scale";
        QTest::newRow("too small") << "60" << "" << "" << "The scale is small" << "The scale is small";
        QTest::newRow("nothing") << "" << "" << "" << "Number zero" << "Number zero";
        QTest::newRow("zero") << "0" << "0" << "" << "Number zero" << "Number zero";
    }
    void theResultAndItsLimits()
    {
        QFETCH(QString, whole);
        QFETCH(QString, fraction);
        QFETCH(QString, result);
        QFETCH(QString, message);
        QFETCH(QString, execute);
        SavePhoto(*dir / "a.png", {100, 50}, "png");
        model->folder.replace({Q(*dir / "a.png")}, 0);
        model->PhotoWidth = 1000;
        model->PhotoHeight = 500;
        auto tool = open<TForm11g>();
        Child<QCheckBox>(tool.get(), "CheckBox1")->click();
        QVERIFY(Child<QWidget>(tool.get(), "Panel5")->isVisible());
        QVERIFY(!Child<QWidget>(tool.get(), "Panel4")->isVisible());
        Child<QLineEdit>(tool.get(), "Edit1")->setText(whole);
        Child<QLineEdit>(tool.get(), "Edit2")->setText(fraction);
        Click(tool.get(), "Panel3");
        QCOMPARE(Child<QLabel>(tool.get(), "Label5")->text(), result);
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (execute.isEmpty())
            return;
        messages().clear();
        Click(tool.get(), "Panel1");
        QCOMPARE(messages(), QStringList{execute});
        QVERIFY(scripted->dialogs.requests.isEmpty());
    }

    void oneSizeForOnePhoto_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<int>("button");  // 0 none, 1..5 BMP JPEG GIF TIFF PNG
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QString>("message");
        QTest::newRow("own format") << "a.png" << 0 << "a.png" << QByteArray("png") << "";
        QTest::newRow("JPEG chosen") << "a.png" << 2 << "a.jpg" << QByteArray("jpeg") << "";
        QTest::newRow("icon") << "i.ico" << 0 << "" << QByteArray() << "This file is not scaled";
        QTest::newRow("icon to PNG") << "i.ico" << 5 << "i.png" << QByteArray("png") << "";
    }
    void oneSizeForOnePhoto()
    {
        QFETCH(QString, photo);
        QFETCH(int, button);
        QFETCH(QString, written);
        QFETCH(QByteArray, format);
        QFETCH(QString, message);
        fs::create_directory(*dir / "src");
        const fs::path source = *dir / "src" / photo.toStdString();
        SavePhoto(source, {64, 32}, photo.endsWith(QLatin1String(".ico")) ? "ico" : "png");
        model->folder.replace({Q(source)}, 0);
        model->PhotoWidth = 64;
        model->PhotoHeight = 32;
        auto tool = open<TForm11g>();
        QTest::keyClicks(Child<QLineEdit>(tool.get(), "Edit3"), QStringLiteral("40"));
        if (button)
            Child<QRadioButton>(tool.get(), qPrintable(QStringLiteral("RadioButton%1").arg(button)))->setChecked(true);
        answer({Q(dir->path() / photo.toStdString())});  // the name kept, in another folder
        Click(tool.get(), "Panel1");
        QCOMPARE(scripted->dialogs.requests.last().proposedName, photo);
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
        if (written.isEmpty()) {
            QCOMPARE(dir->entries().size(), std::size_t(1));
            return;
        }
        QCOMPARE(formatOf(*dir / written.toStdString()), format);
        QCOMPARE(sizeOf(*dir / written.toStdString()), QSize(40, 20));
        QVERIFY(Child<QLabel>(tool.get(), "Label1")->isVisible());
    }

    void scalingAllPassesOverWhatCannotBeWritten()
    {
        SavePhoto(*dir / "a.jpg", {400, 200}, "jpeg");
        SavePhoto(*dir / "small.png", {30, 30}, "png");
        SavePhoto(*dir / "i.ico", {64, 64}, "ico");
        model->folder.replace({Q(*dir / "a.jpg"), Q(*dir / "small.png"), Q(*dir / "i.ico")}, 0);
        model->PhotoWidth = 400;
        model->PhotoHeight = 200;
        auto tool = open<TForm11g>();
        Child<QCheckBox>(tool.get(), "CheckBox1")->click();
        Child<QLineEdit>(tool.get(), "Edit1")->setText(QStringLiteral("4"));
        answer({Q(*dir / "out")});
        Click(tool.get(), "Panel1");
        QCOMPARE(Child<QLabel>(tool.get(), "Label5")->text(), QStringLiteral("100 / 50"));
        QCOMPARE(dir->entries("out"), std::vector<std::string>{"a.jpg"});
        QCOMPARE(sizeOf(*dir / "out/a.jpg"), QSize(100, 50));
        QVERIFY(messages().isEmpty());

        // None of them: the folder goes again.
        model->folder.replace({Q(*dir / "small.png"), Q(*dir / "i.ico")}, 0);
        answer({Q(*dir / "out2")});
        Click(tool.get(), "Panel1");
        QCOMPARE(messages(), QStringList{QStringLiteral("These files are not scaled")});
        QVERIFY(!fs::exists(*dir / "out2"));
    }

    // A photo of a format that is read but never written is named among the files not written.
    void scalingAllNamesThePhotosWithoutAnEncoder()
    {
        SavePhoto(*dir / "a.jpg", {400, 200}, "jpeg");
        SavePhoto(*dir / "b.heic", {400, 200}, "png");  // read by its content
        SavePhoto(*dir / "c.webp", {400, 200}, "png");
        model->folder.replace({Q(*dir / "a.jpg"), Q(*dir / "b.heic"), Q(*dir / "c.webp")}, 0);
        model->PhotoWidth = 400;
        model->PhotoHeight = 200;
        auto tool = open<TForm11g>();
        Child<QCheckBox>(tool.get(), "CheckBox1")->click();
        Child<QLineEdit>(tool.get(), "Edit1")->setText(QStringLiteral("4"));
        answer({Q(*dir / "out")});
        Click(tool.get(), "Panel1");
        QCOMPARE(dir->entries("out"), std::vector<std::string>{"a.jpg"});
        const QStringList named = {NotWrittenMessage, QStringLiteral("b.heic: ") + NoEncoderReason,
                                   QStringLiteral("c.webp: ") + NoEncoderReason};
        QCOMPARE(messages(), QStringList{named.join('\n')});
    }
};

QTEST_MAIN(ToolsTest)
#include "tst_tools.moc"
