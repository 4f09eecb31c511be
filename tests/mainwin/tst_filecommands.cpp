// The main window's commands that write files: " Cipher" in its three modes, the deciphered
// copies, moving and removing, driven with scripted dialogs and keys.

#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "mainwin/mainwindowfixture.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>

#include <sys/stat.h>

using namespace veilshot;
namespace fs = std::filesystem;

namespace {

using test::Q;

constexpr auto Code = u"file commands code";


void SavePhoto(const fs::path &file, QColor colour, const char *format)
{
    QImage image(24, 16, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(Q(file), format));
}

}  // namespace

class FileCommandsTest : public QObject, test::MainWindowFixture {
    Q_OBJECT

private:
    std::vector<std::string> entries(const char *sub) { return dir->entries(sub); }

    QString storedExtension(const fs::path &veil)
    {
        const cipher::Examined examined = engine->examine(veil);
        return examined.refusal == cipher::Refusal::None ? QString::fromStdU16String(examined.extension.text())
                                                         : QString("<none>");
    }

    // Ciphers photos of the folder "plain" into "plain/The ciphered photo" and opens them.
    void openCipheredFolder()
    {
        SavePhoto(*dir / "plain" / "a.jpg", Qt::red, "jpeg");
        SavePhoto(*dir / "plain" / "b.png", Qt::green, "png");
        window->findChild<QCheckBox *>("CheckBox2")->setChecked(true);
        answer({Q(*dir / "plain" / "a.jpg")});
        answer({Q(*dir / "plain" / "a.jpg")});
        panel("Panel9")->click();
        window->findChild<QCheckBox *>("CheckBox2")->setChecked(false);
        answer({Q(*dir / "plain" / "The ciphered photo" / "a.veil")});
        panel("Panel6")->click();
        QCOMPARE(state->folder.count(), 2);
    }

private slots:
    void init()
    {
        setUpMainWindow(Code);
        fs::create_directory(*dir / "plain");
    }

    void cleanup()
    {
        tearDownMainWindow();
    }

    void cipherWithoutACodeOpensTheCodeWindow()
    {
        MainModel fresh;
        cipher::CipherEngine noCode;
        TForm7 other(fresh, noCode, scripted->platform());
        QString title;
        test::OnNextModal([&](QWidget *modal) {
            title = modal->windowTitle();
            modal->close();
        });
        other.findChild<PanelButton *>("Panel9")->click();
        QCOMPARE(title, QString("Code Veilshot"));
        QVERIFY(scripted->dialogs.requests.isEmpty());
    }

    void cipherOneFileByTheNameChosen_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("made");
        QTest::newRow("proposed name") << "a.JPG" << "a.veil";
        QTest::newRow("no extension") << "b" << "b.veil";
        QTest::newRow("another extension") << "b.txt" << "b.veil";
    }

    void cipherOneFileByTheNameChosen()
    {
        QFETCH(QString, typed);
        QFETCH(QString, made);
        SavePhoto(*dir / "plain" / "a.JPG", Qt::red, "jpeg");
        answer({Q(*dir / "plain" / "a.JPG")});
        answer({Q(*dir / "plain") + "/" + typed});
        panel("Panel9")->click();
        QCOMPARE(scripted->dialogs.requests[1].proposedName, QString("a.JPG"));
        const fs::path veil = *dir / "plain" / "The ciphered photo" / made.toStdString();
        QVERIFY(fs::exists(veil));
        QCOMPARE(storedExtension(veil), QString(".jpg"));
        QCOMPARE(state->LastCipherFolder, Q(*dir / "plain"));

        // Again into the same folder: refused, and the first file stays as it was.
        const auto first = test::ReadFile(veil);
        answer({Q(*dir / "plain" / "a.JPG")});
        answer({Q(*dir / "plain") + "/" + typed});
        panel("Panel9")->click();
        QCOMPARE(messages(), QStringList{SuchNameExistsMessage});
        QCOMPARE(test::ReadFile(veil), first);
        QCOMPARE(scripted->dialogs.requests[3].startFolder, Q(*dir / "plain"));
    }

    void cipherAPickedFileThatVanished()
    {
        answer({Q(*dir / "plain" / "gone.jpg")});
        answer({Q(*dir / "plain" / "gone.jpg")});
        panel("Panel9")->click();
        QCOMPARE(messages(), QStringList{NotPresentMessage});
        QVERIFY(!fs::exists(*dir / "plain" / "The ciphered photo"));
    }

    void cipherAllOfAFolderTwice()
    {
        SavePhoto(*dir / "plain" / "one.jpg", Qt::red, "jpeg");
        SavePhoto(*dir / "plain" / "two.png", Qt::blue, "png");
        test::WriteText(*dir / "plain" / "notes.txt", "text");
        test::WriteText(*dir / "plain" / "old.veil", "already ciphered");
        fs::create_directories(*dir / "plain" / "album.jpg");  // a folder named like a photo is none
        auto *all = window->findChild<QCheckBox *>("CheckBox2");
        auto *progress = window->findChild<QProgressBar *>("ProgressBar1");
        all->setChecked(true);
        for (int run = 0; run < 2; ++run) {
            answer({Q(*dir / "plain" / "notes.txt")});
            answer({Q(*dir / "plain" / "anything")});
            panel("Panel9")->click();
            QCOMPARE(entries("plain/The ciphered photo"), (std::vector<std::string>{"one.veil", "two.veil"}));
            QCOMPARE(progress->maximum(), run == 0 ? 2 : 0);
            QVERIFY(!window->findChild<QWidget *>("Panel13")->isVisible());
        }
        QVERIFY(messages().isEmpty());
        // Each sealed with the preview its thumbnail is drawn from.
        for (const auto &[name, colour] : {std::pair{"one.veil", QColor(Qt::red)}, std::pair{"two.veil", QColor(Qt::blue)}}) {
            const auto preview = engine->decipherPreview(*dir / "plain" / "The ciphered photo" / name);
            QVERIFY2(preview, name);
            const auto picture = imaging::PreviewPicture(preview->bytes(), name, {64, 64});
            QVERIFY2(picture, name);
            const QRgb centre = picture->image.pixel(picture->image.rect().center());
            QVERIFY2(std::abs(qRed(centre) - colour.red()) + std::abs(qBlue(centre) - colour.blue()) < 20, name);
        }
    }

    void ctrlStopsABatchAfterTheFileInHand()
    {
        QStringList picked;
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg"}) {
            SavePhoto(*dir / "plain" / name, Qt::red, "jpeg");
            picked << Q(*dir / "plain" / name);
        }
        scripted->keys.reads[Qt::Key_Control] << false << true;
        answer(picked);
        answer({Q(*dir / "plain" / "x")});
        panel("Panel9")->click();
        QCOMPARE(entries("plain/The ciphered photo"), std::vector<std::string>{"1.veil"});
        QVERIFY(!window->findChild<QWidget *>("Panel13")->isVisible());
        QVERIFY(panel("Panel6")->isEnabled());
        QVERIFY(!state->runInProgress);
    }

    void aBatchDisablesTheCommandsThatWouldStartAnother()
    {
        bool openWasEnabled = true, cipherWasEnabled = true;
        scripted->keys.beforeRead = [&](int) {
            openWasEnabled = panel("Panel6")->isEnabled();
            cipherWasEnabled = panel("Panel9")->isEnabled();
        };
        SavePhoto(*dir / "plain" / "1.jpg", Qt::red, "jpeg");
        SavePhoto(*dir / "plain" / "2.jpg", Qt::red, "jpeg");
        answer({Q(*dir / "plain" / "1.jpg"), Q(*dir / "plain" / "2.jpg")});
        answer({Q(*dir / "plain" / "x")});
        panel("Panel9")->click();
        QVERIFY(!openWasEnabled);
        QVERIFY(!cipherWasEnabled);
        QVERIFY(panel("Panel6")->isEnabled());
    }

    // Closing the window (close box, Exit, E) while a batch runs: the run stops after the file
    // in hand, then the window closes. Nothing goes on being written unseen.
    void closingDuringABatchStopsItThenCloses_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("how");
        for (const char *command : {"Cipher all", "To decode all"})
            for (const char *how : {"close box", "Exit", "E"})
                QTest::addRow("%s, %s", command, how) << command << how;
    }

    void closingDuringABatchStopsItThenCloses()
    {
        QFETCH(QString, command);
        QFETCH(QString, how);
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"})
            SavePhoto(*dir / "plain" / name, Qt::red, "jpeg");
        const bool cipher = command == "Cipher all";
        if (!cipher) {
            answer({Q(*dir / "plain" / "1.jpg")});
            answer({Q(*dir / "plain" / "1.jpg")});
            window->findChild<QCheckBox *>("CheckBox2")->setChecked(true);
            panel("Panel9")->click();
            answer({Q(*dir / "plain" / "The ciphered photo" / "1.veil")});
            panel("Panel6")->click();
            QCOMPARE(state->folder.count(), 4);
            fs::create_directory(*dir / "copies");
        }
        int reads = 0;
        scripted->keys.beforeRead = [&](int) {
            if (++reads != 2)  // between the first file and the second
                return;
            if (how == "close box")
                window->close();
            else if (how == "Exit")
                action("Exit1")->trigger();
            else
                QTest::keyClick(window.get(), Qt::Key_E);
        };
        if (cipher) {
            fs::create_directory(*dir / "out");
            window->findChild<QCheckBox *>("CheckBox2")->setChecked(true);
            answer({Q(*dir / "plain" / "1.jpg")});
            answer({Q(*dir / "out" / "x")});
            panel("Panel9")->click();
        } else {
            answer({Q(*dir / "copies" / "x")});
            action("mN7")->trigger();
        }
        const std::vector<std::string> one = {cipher ? "1.veil" : "1.jpg"};
        QCOMPARE(entries(cipher ? "out/The ciphered photo" : "copies/The decoded photo"), one);
        QVERIFY(window->isVisible());  // until the run has ended and the window gets the close
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(!state->runInProgress);
    }

    // A new code entered while a batch runs serves the next run; this one keeps its own.
    void aBatchKeepsTheCodeItStartedWith_data()
    {
        QTest::addColumn<bool>("cipher");
        QTest::newRow("Cipher all") << true;
        QTest::newRow("To decode all") << false;
    }

    void aBatchKeepsTheCodeItStartedWith()
    {
        QFETCH(bool, cipher);
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"})
            SavePhoto(*dir / "plain" / name, Qt::red, "jpeg");
        auto *all = window->findChild<QCheckBox *>("CheckBox2");
        all->setChecked(true);
        const auto cipherAll = [&] {
            answer({Q(*dir / "plain" / "1.jpg")});
            answer({Q(*dir / "plain" / "x")});
            panel("Panel9")->click();
        };
        const auto changeCodeMidway = [&] {
            int reads = 0;
            scripted->keys.beforeRead = [&, reads](int) mutable {
                if (++reads == 2)
                    engine->BuildKeyTable(u"a code entered meanwhile");
            };
        };
        if (cipher)
            changeCodeMidway();
        cipherAll();
        scripted->keys.beforeRead = nullptr;
        const fs::path ciphered = *dir / "plain" / "The ciphered photo";
        QCOMPARE(dir->entries(ciphered).size(), size_t(4));
        cipher::CipherEngine first;
        first.BuildKeyTable(Code);
        for (const std::string &name : dir->entries(ciphered)) {
            QCOMPARE(first.examine(ciphered / name).refusal, cipher::Refusal::None);
        }
        if (cipher)
            return;

        answer({Q(ciphered / "1.veil")});
        panel("Panel6")->click();
        fs::create_directory(*dir / "copies");
        changeCodeMidway();
        answer({Q(*dir / "copies" / "x")});
        action("mN7")->trigger();
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(ciphered));  // beside the photos
        QCOMPARE(entries("copies/The decoded photo"), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
        // The next run works under the new code, which these files were not made with.
        engine->BuildKeyTable(u"a code entered meanwhile");
        fs::remove_all(*dir / "copies" / "The decoded photo");
        answer({Q(*dir / "copies" / "x")});
        action("mN7")->trigger();
        QVERIFY(!fs::exists(*dir / "copies" / "The decoded photo") || entries("copies/The decoded photo").empty());
    }

    // A deciphered copy holds exactly the bytes that were ciphered: no second encoding, no
    // metadata lost, whether by "Copy - Arrow upwards" or "To decode all". It is the owner's
    // alone, whatever the umask: a deciphered photo is a private one.
    void decipheredCopiesAreTheCipheredBytes()
    {
        const mode_t umask = ::umask(022);
        const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> photos = {
            {"a.jpg", test::EncodedPhoto("jpeg", Qt::red, {64, 48}, 97)},
            {"b.png", test::EncodedPhoto("png")},
            {"c.jpeg", test::JpegWithExif(true)},
        };
        for (const auto &[name, bytes] : photos)
            test::WriteFile(*dir / "plain" / name, bytes);
        window->findChild<QCheckBox *>("CheckBox2")->setChecked(true);
        answer({Q(*dir / "plain" / "a.jpg")});
        answer({Q(*dir / "plain" / "a.jpg")});
        panel("Panel9")->click();
        answer({Q(*dir / "plain" / "The ciphered photo" / "a.veil")});
        panel("Panel6")->click();
        QCOMPARE(state->folder.count(), 3);

        fs::create_directory(*dir / "all");
        answer({Q(*dir / "all" / "x")});
        action("mN7")->trigger();
        fs::create_directory(*dir / "one");
        for (int i = 0; i < 3; ++i) {
            state->folder.setIndex(i);
            answer({Q(*dir / "one" / photos[size_t(i)].first)});
            QTest::keyClick(window.get(), Qt::Key_Up);
        }
        QVERIFY2(messages().isEmpty(), qPrintable(messages().join('\n')));
        for (const auto &[name, bytes] : photos) {
            for (const char *folder : {"all", "one"}) {
                const fs::path copy = *dir / folder / "The decoded photo" / name;
                QVERIFY2(test::ReadFile(copy) == bytes, copy.c_str());
                QCOMPARE(fs::status(copy).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
            }
        }
        ::umask(umask);
    }

    void copyWritesTheDecodedPictureByTheStoredExtension()
    {
        openCipheredFolder();
        // The copy of a.veil is proposed as a.jpg; typed as x.JPEG it becomes x.JPEG.jpg.
        answer({Q(*dir / "out" / "x.JPEG")});
        fs::create_directory(*dir / "out");
        QTest::keyClick(window.get(), Qt::Key_Up);
        QCOMPARE(scripted->dialogs.requests.last().proposedName, QString("a.jpg"));
        const fs::path copy = *dir / "out" / "The decoded photo" / "x.JPEG.jpg";
        QVERIFY(fs::exists(copy));
        QImage decoded(Q(copy));
        QCOMPARE(decoded.size(), QSize(24, 16));
        QVERIFY(qRed(decoded.pixel(5, 5)) > 200);
        QCOMPARE(state->LastDecodeFolder, Q(*dir / "out"));

        answer({Q(*dir / "out" / "x.JPEG")});
        QTest::keyClick(window.get(), Qt::Key_Up);
        QCOMPARE(messages(), QStringList{ThisNameExistsMessage});
        QCOMPARE(scripted->dialogs.requests.last().startFolder, Q(*dir / "out"));
    }

    // A stored extension that could lead a copy out of its folder marks the file as damaged:
    // both copy commands refuse it and write nothing.
    void aHostileStoredExtensionIsRefused()
    {
        engine->setWriteFormat(cipher::Format::Keyed);  // the sealed format checks what it stores
        openCipheredFolder();
        const fs::path veil = *dir / "plain" / "The ciphered photo" / "a.veil";
        auto bytes = test::ReadFile(veil);
        const std::string escape = "/../q";
        bytes[7] = std::uint8_t(escape.size());
        std::copy(escape.begin(), escape.end(), bytes.begin() + 8);
        test::WriteFile(veil, bytes);
        fs::create_directory(*dir / "out");
        for (const char *command : {"mN4", "mN7"}) {
            messages().clear();
            answer({Q(*dir / "out" / "x")});
            action(command)->trigger();
            QCOMPARE(messages().size(), 1);
            QVERIFY2(messages()[0].contains("The file is damaged"), qPrintable(messages()[0]));
        }
        QVERIFY(!fs::exists(*dir / "out" / "The decoded photo") || entries("out/The decoded photo").empty());
        QCOMPARE(entries("out"), std::vector<std::string>(fs::exists(*dir / "out" / "The decoded photo") ? 1 : 0, "The decoded photo"));
    }

    void decodeAllPassesOverOtherCodes()
    {
        openCipheredFolder();
        {
            cipher::CipherEngine other;
            other.BuildKeyTable(u"someone else's code");
            other.extension = cipher::Extension::fromText(u".png");
            other.Cipfoto(*dir / "plain" / "b.png", *dir / "plain" / "The ciphered photo" / "c.veil");
        }
        answer({Q(*dir / "plain" / "The ciphered photo" / "a.veil")});
        panel("Panel6")->click();
        QCOMPARE(state->folder.lastIndex(), 2);
        fs::create_directory(*dir / "copies");
        answer({Q(*dir / "copies" / "whatever")});
        action("mN7")->trigger();
        QCOMPARE(entries("copies/The decoded photo"), (std::vector<std::string>{"a.jpg", "b.png"}));
        QVERIFY(messages().isEmpty());

        // Copying the one of another code is refused before a name is asked for.
        state->folder.setIndex(2);
        const auto asked = scripted->dialogs.requests.size();
        action("mN4")->trigger();
        QCOMPARE(scripted->dialogs.requests.size(), asked);
        QCOMPARE(messages(), QStringList{QString(OtherCodeText).trimmed()});
    }

    void moveAndItsRefusals()
    {
        openCipheredFolder();
        const fs::path folder = *dir / "plain" / "The ciphered photo";
        answer({Q(*dir / "moved")});  // typed without an extension: it keeps its own
        action("mN5")->trigger();
        QCOMPARE(scripted->dialogs.requests.last().proposedName, Q(folder / "a.veil"));
        QVERIFY(fs::exists(*dir / "moved.veil"));
        QVERIFY(!fs::exists(folder / "a.veil"));
        QCOMPARE(state->folder.count(), 2);  // the entry stays, now without its file

        action("mN5")->trigger();
        QCOMPARE(messages(), QStringList{NoFileMessage});

        state->folder.setIndex(1);
        messages().clear();
        answer({Q(*dir / "moved.veil")});
        action("mN5")->trigger();
        QCOMPARE(messages(), QStringList{SuchNameExistsMessage});
        QVERIFY(fs::exists(folder / "b.veil"));
    }

    void removeAsksFirst_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("removed");
        QTest::newRow("Yes") << "Panel1" << true;
        QTest::newRow("No") << "Panel2" << false;
        QTest::newRow("close box") << "" << false;
    }

    void removeAsksFirst()
    {
        QFETCH(QString, answer);
        QFETCH(bool, removed);
        openCipheredFolder();
        const fs::path file = *dir / "plain" / "The ciphered photo" / "a.veil";
        QString shownName, title;
        test::OnNextModal([&](QWidget *confirm) {
            title = confirm->windowTitle();
            shownName = confirm->findChild<QLabel *>("Label2")->text();
            if (answer.isEmpty())
                confirm->close();
            else
                confirm->findChild<PanelButton *>(answer)->click();
        });
        action("mN6")->trigger();
        QCOMPARE(title, QString("Acknowledgement of removal of a file"));
        QCOMPARE(shownName, QString("\"a.veil\""));
        QCOMPARE(state->RemoveTarget, Q(file));
        QCOMPARE(fs::exists(file), !removed);
    }

    void removeOfAFileThatVanishedBeforeYes()
    {
        openCipheredFolder();
        const fs::path file = *dir / "plain" / "The ciphered photo" / "a.veil";
        test::OnNextModal([&](QWidget *confirm) {
            fs::remove(file);
            confirm->findChild<PanelButton *>("Panel1")->click();
        });
        action("mN6")->trigger();
        QCOMPARE(messages(), QStringList{NoFileMessage});
    }
};

QTEST_MAIN(FileCommandsTest)
#include "tst_filecommands.moc"
