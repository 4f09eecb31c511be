// The code window: F1 and "Photo" build the key table and close the window, a blank code
// keeps it open, and a code saved and opened again builds the same table.

#include "cipher/cipherengine.h"
#include "codewin/codewindow.h"
#include "common/modal.h"
#include "common/tempdir.h"
#include "platform/scriptedplatform.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <filesystem>

using namespace veilshot;

class CodeWindowTest : public QObject {
    Q_OBJECT

private:
    platform::ScriptedPlatform scripted;

    static QPlainTextEdit *memo(TForm2 &window) { return window.findChild<QPlainTextEdit *>("Memo1"); }
    static QPushButton *button(TForm2 &window, const char *name) { return window.findChild<QPushButton *>(name); }

    cipher::CheckValue checkOf(const std::u16string &code)
    {
        cipher::CipherEngine engine;
        engine.BuildKeyTable(code);
        return engine.CodeCheck();
    }

private slots:
    void layoutFollowsTheForm()
    {
        cipher::CipherEngine engine;
        TForm2 window(engine, scripted.platform(), nullptr);
        QCOMPARE(window.windowTitle(), QString("Code Veilshot"));
        QCOMPARE(window.size(), QSize(603, 397));
        QCOMPARE(memo(window)->geometry(), QRect(2, 2, 599, 353));
        QVERIFY(memo(window)->toPlainText().isEmpty());
        const QList<std::pair<const char *, QString>> buttons = {
            {"Button1", "Help"}, {"Button2", "Visit Web Site"}, {"Button3", "Open"}, {"Button4", "Save"}, {"Button5", "Photo"}};
        for (const auto &[name, caption] : buttons)
            QCOMPARE(button(window, name)->text(), caption);
        QCOMPARE(button(window, "Button5")->toolTip(), QString("Press a key - F1"));
        QCOMPARE(button(window, "Button5")->geometry(), QRect(488, 364, 83, 25));
    }

    void photoAndF1_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("click on Photo") << false;
        QTest::newRow("F1") << true;
    }

    void photoAndF1()
    {
        QFETCH(bool, byKey);
        cipher::CipherEngine engine;
        TForm2 window(engine, scripted.platform(), nullptr);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(memo(window), "open sesame");
        QTest::keyClick(memo(window), Qt::Key_Return);
        QTest::keyClicks(memo(window), "second line");
        if (byKey)
            QTest::keyClick(memo(window), Qt::Key_F1);
        else
            QTest::mouseClick(button(window, "Button5"), Qt::LeftButton);
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QVERIFY(!window.isVisible());
        QVERIFY(engine.CodeEntered());
        QCOMPARE(engine.CodeCheck(), checkOf(u"open sesame\r\nsecond line"));
        QCOMPARE(engine.CodeCheck(), checkOf(u"opensesamesecondline"));  // line breaks play no part
    }

    void blankCodeKeepsTheWindowOpenAndTheTable()
    {
        cipher::CipherEngine engine;
        engine.BuildKeyTable(u"earlier");
        const auto earlier = engine.CodeCheck();
        scripted.messages.shown.clear();
        TForm2 window(engine, scripted.platform(), nullptr);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClicks(memo(window), "   ");
        QTest::keyClick(memo(window), Qt::Key_F1);
        QCOMPARE(scripted.messages.shown, QStringList{"There is no code"});
        QVERIFY(window.isVisible());
        QCOMPARE(engine.CodeCheck(), earlier);
        window.close();
        QCOMPARE(engine.CodeCheck(), earlier);  // the close box changes nothing either
    }

    void savedCodeOpensAgainToTheSameTable()
    {
        test::TempDir dir;
        const QString file = QString::fromStdString((dir / "code.txt").string());
        cipher::CipherEngine engine;
        {
            TForm2 window(engine, scripted.platform(), nullptr);
            memo(window)->setPlainText(QString::fromUtf16(u"Пароль\tone\nline two \u4e2d"));
            scripted.dialogs.answers.enqueue({file});
            QTest::mouseClick(button(window, "Button4"), Qt::LeftButton);
            QCOMPARE(scripted.dialogs.requests.last().defaultSuffix, QString("txt"));
        }
        const auto saved = test::ReadFile(dir / "code.txt");
        QVERIFY(saved.size() > 2);
        QCOMPARE(int(saved[0]), 0xFF);  // UTF-16 LE with its mark
        QCOMPARE(int(saved[1]), 0xFE);
        using std::filesystem::perms;
        QVERIFY((std::filesystem::status(dir / "code.txt").permissions() & perms::all) ==
                (perms::owner_read | perms::owner_write));  // the code is for its owner alone

        TForm2 window(engine, scripted.platform(), nullptr);
        QVERIFY(memo(window)->toPlainText().isEmpty());  // a new window starts empty
        scripted.dialogs.answers.enqueue({file});
        QTest::mouseClick(button(window, "Button3"), Qt::LeftButton);
        QCOMPARE(memo(window)->toPlainText(), QString::fromUtf16(u"Пароль\tone\nline two \u4e2d"));
        QTest::mouseClick(button(window, "Button5"), Qt::LeftButton);
        QCOMPARE(engine.CodeCheck(), checkOf(u"Пароль\tone\r\nline two \u4e2d"));
    }

    void saveRefusesAnExistingFile()
    {
        test::TempDir dir;
        test::WriteText(dir / "old.txt", "keep");
        cipher::CipherEngine engine;
        TForm2 window(engine, scripted.platform(), nullptr);
        memo(window)->setPlainText("code");
        scripted.messages.shown.clear();
        scripted.dialogs.answers.enqueue({QString::fromStdString((dir / "old.txt").string())});
        QTest::mouseClick(button(window, "Button4"), Qt::LeftButton);
        QCOMPARE(scripted.messages.shown,
                 QStringList{"The file with such name already exists. Replace a name of a file"});
        QCOMPARE(test::ReadFile(dir / "old.txt").size(), std::size_t(4));
    }

    void openReadsLatin1WithoutAMarkAndIgnoresMissingFiles()
    {
        test::TempDir dir;
        test::WriteText(dir / "latin.txt", "caf\xE9\r\n");
        cipher::CipherEngine engine;
        TForm2 window(engine, scripted.platform(), nullptr);
        scripted.dialogs.answers.enqueue({QString::fromStdString((dir / "latin.txt").string())});
        QTest::mouseClick(button(window, "Button3"), Qt::LeftButton);
        QCOMPARE(memo(window)->toPlainText(), QString::fromUtf16(u"caf\u00e9"));
        scripted.dialogs.answers.enqueue({QString::fromStdString((dir / "gone.txt").string())});
        QTest::mouseClick(button(window, "Button3"), Qt::LeftButton);
        QCOMPARE(memo(window)->toPlainText(), QString::fromUtf16(u"caf\u00e9"));
    }

    void helpAndWebSite()
    {
        cipher::CipherEngine engine;
        TForm2 window(engine, scripted.platform(), nullptr);
        QTest::mouseClick(button(window, "Button2"), Qt::LeftButton);
        QCOMPARE(scripted.urls.opened.size(), 1);
        QString helpTitle, helpText;
        test::OnNextModal([&](QWidget *help) {
            helpTitle = help->windowTitle();
            helpText = help->findChild<QPlainTextEdit *>("Memo1")->toPlainText();
            help->close();
        });
        QTest::mouseClick(button(window, "Button1"), Qt::LeftButton);
        QCOMPARE(helpTitle, QString("Help"));
        // The text of old, then the two formats, the older format's menu item, reseal and the lock.
        QVERIFY(helpText.startsWith("The program is intended for viewing ciphered\n"));
        const qsizetype after = helpText.indexOf("The small, big size of the screen a key - M.\n");
        QVERIFY(after > 0);
        for (const char *told : {"sealed format", "older keyed format (v1)", "\"New files in the older format (v1)\"",
                                 "veil reseal FILE.veil", "session locks", "minimised"})
            QVERIFY2(helpText.indexOf(QLatin1String(told)) > after, told);
    }
};

QTEST_MAIN(CodeWindowTest)
#include "tst_codewindow.moc"
