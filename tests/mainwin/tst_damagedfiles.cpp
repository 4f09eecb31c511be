// Ciphered files that the code opens but that cannot be shown (damaged since they were sealed,
// or with no picture inside) in the main window's deciphering commands: refused before a name
// is asked for, and passed over by "To decode all", which goes on to the files after them.

#include "cipher/cipherengine.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "mainwin/mainwindowfixture.h"
#include "platform/scriptedplatform.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QtTest>

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

using test::Q;

constexpr auto Code = u"damaged files code";

}  // namespace

class DamagedFilesTest : public QObject, test::MainWindowFixture {
    Q_OBJECT

private:
    // a.veil and d.veil hold photos; b.veil was changed after it was sealed, c.veil holds no
    // picture. The folder is open at a.veil.
    void openMixedFolder()
    {
        test::CipherInto(*dir / "a.veil", test::Png({40, 20}, Qt::red), Code);
        test::CipherInto(*dir / "b.veil", test::Png({40, 20}, Qt::green), Code);
        test::CipherInto(*dir / "c.veil", std::vector<std::uint8_t>(300, 'x'), Code);
        test::CipherInto(*dir / "d.veil", test::Png({40, 20}, Qt::blue), Code);
        auto bytes = test::ReadFile(*dir / "b.veil");
        bytes[bytes.size() - 30] ^= 0x01;
        test::WriteFile(*dir / "b.veil", bytes);
        answer({Q(*dir / "a.veil")});
        window->Panel6Click();
        QCOMPARE(state->folder.count(), 4);
        messages().clear();
        scripted->dialogs.requests.clear();
    }

private slots:
    void init() { setUpMainWindow(Code); }
    void cleanup() { tearDownMainWindow(); }

    // Up (Copy) on a file that cannot be shown says why at once, as for a file of another code.
    void copyOfAFileThatCannotBeShownIsRefusedBeforeTheDialog_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("reason");
        QTest::newRow("damaged") << 1 << "The file is damaged";
        QTest::newRow("no picture inside") << 2 << "The file is not a picture";
    }

    void copyOfAFileThatCannotBeShownIsRefusedBeforeTheDialog()
    {
        QFETCH(int, index);
        QFETCH(QString, reason);
        openMixedFolder();
        state->folder.setIndex(index);
        messages().clear();
        answer({Q(*dir / "copy")});
        action("mN4")->trigger();
        QVERIFY(scripted->dialogs.requests.isEmpty());  // no name asked for
        QCOMPARE(messages().size(), 1);
        QVERIFY2(messages()[0].startsWith("Cannot open file \"" + Q(*dir / (index == 1 ? "b.veil" : "c.veil")) + "\". " + reason),
                 qPrintable(messages()[0]));
        QCOMPARE(dir->entries(), (std::vector<std::string>{"a.veil", "b.veil", "c.veil", "d.veil"}));
    }

    // "To decode all" writes every photo it can, the ones after a file that cannot be shown
    // included, and names the files passed over at the end with how many were written.
    void decodeAllGoesPastFilesThatCannotBeShown()
    {
        openMixedFolder();
        fs::create_directory(*dir / "out");
        answer({Q(*dir / "out" / "a.png")});
        action("mN7")->trigger();
        QCOMPARE(dir->entries("out/The decoded photo"), (std::vector<std::string>{"a.png", "d.png"}));
        QCOMPARE(test::ReadPicture(*dir / "out/The decoded photo/d.png").pixelColor(5, 5), QColor(Qt::blue));
        QCOMPARE(messages().size(), 1);
        const QStringList lines = messages()[0].split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QString(NotWrittenMessage));
        QVERIFY2(lines[1].startsWith("b.veil: The file is damaged"), qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith("c.veil: The file is not a picture"), qPrintable(lines[2]));
        QCOMPARE(lines[3], QString(WrittenCountLine).arg(2));

        // Run again, it writes nothing more and names the same files.
        messages().clear();
        answer({Q(*dir / "out" / "a.png")});
        action("mN7")->trigger();
        QCOMPARE(dir->entries("out/The decoded photo"), (std::vector<std::string>{"a.png", "d.png"}));
        QCOMPARE(messages().size(), 1);
        QVERIFY(messages()[0].endsWith(QString(WrittenCountLine).arg(0)));
    }
};

QTEST_MAIN(DamagedFilesTest)
#include "tst_damagedfiles.moc"
