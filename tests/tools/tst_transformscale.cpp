// The Transform and Scale tools driven as a user drives them: their choices and name rules, one
// photo and the whole folder checked by decoding what they wrote, and the scale tool's edits.

#include "tools/toolsfixture.h"

#include <QtTest>

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

class TransformScaleTest : public QObject, test::ToolsFixture {
    Q_OBJECT

private slots:
    void init() { setUpTools(); }
    void cleanup() { tearDownTools(); }

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

QTEST_MAIN(TransformScaleTest)
#include "tst_transformscale.moc"
