// What the start-up code wires between the windows: "Viewing" opens one plain viewer, owned by
// the main window, and " Cipher" and "Viewing" wait until it closes; a file named on the
// command line opens in the window that shows its kind.

#include "app/application.h"
#include "cipher/cipherengine.h"
#include "common/modal.h"
#include "common/photos.h"
#include "common/pictures.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "common/windowfixture.h"
#include "mainwin/mainwindow.h"
#include "plainview/plainviewer.h"
#include "platform/scriptedplatform.h"
#include "viewer/panelbutton.h"
#include "viewer/viewermodel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace veilshot;

namespace {

constexpr auto Code = u"start-up test code";

// Ciphers a small PNG into `target` under `code`.
void CipheredPhoto(const std::filesystem::path &target, std::u16string_view code = Code)
{
    test::CipherInto(target, test::EncodedPhoto("png"), code);
}

// Whether every page of the file is in the system's cache; with `drop`, first asks the system to
// let them go (a file system that keeps every file in memory keeps them).
bool InCache(const std::filesystem::path &file, bool drop = false)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto size = std::size_t(std::filesystem::file_size(file));
    if (drop) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    }
    void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        return false;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> resident((size + std::size_t(page) - 1) / std::size_t(page));
    const bool got = ::mincore(mapped, size, resident.data()) == 0;
    ::munmap(mapped, size);
    return got && std::all_of(resident.begin(), resident.end(), [](unsigned char r) { return r & 1; });
}

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainModel> mainModel;
    std::unique_ptr<PlainModel> plainModel;
    std::unique_ptr<cipher::CipherEngine> engine;
    std::unique_ptr<platform::ScriptedPlatform> scripted;
    std::unique_ptr<TForm7> main;

    PanelButton *mainPanel(const char *name) { return main->findChild<PanelButton *>(QLatin1String(name)); }

    // The plain viewers that exist, wherever they are.
    QList<TForm7g *> viewers()
    {
        QList<TForm7g *> found;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *viewer = qobject_cast<TForm7g *>(widget))
                found << viewer;
        }
        return found;
    }

private slots:
    void init()
    {
        mainModel = std::make_unique<MainModel>();
        plainModel = std::make_unique<PlainModel>();
        engine = std::make_unique<cipher::CipherEngine>();
        scripted = std::make_unique<platform::ScriptedPlatform>();
        main = std::make_unique<TForm7>(*mainModel, *engine, scripted->platform());
        ConnectViewing(*main, *plainModel, scripted->platform());
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }

    void cleanup()
    {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        scripted.reset();
        engine.reset();
        plainModel.reset();
        mainModel.reset();
    }

    void viewingOpensOnePlainViewerUntilItCloses_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("close box") << false;
        QTest::newRow("key E") << true;
    }

    void viewingOpensOnePlainViewerUntilItCloses()
    {
        QFETCH(bool, byKey);
        test::TempDir dir;
        QVERIFY(QImage(QSize(40, 30), QImage::Format_RGB32).save(test::Q(dir / "a.png"), "png"));
        QVERIFY(QImage(QSize(40, 30), QImage::Format_RGB32).save(test::Q(dir / "b.png"), "png"));

        mainPanel("Panel14")->click();
        QCOMPARE(viewers().size(), 1);
        QPointer<TForm7g> viewer = viewers().constFirst();
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->parentWidget(), main.get());
        QCOMPARE(main->findChild<TForm7g *>(), viewer.data());
        QCOMPARE(viewer->screenSize(), main->screenSize());
        QVERIFY(!mainPanel("Panel9")->isEnabled());
        QVERIFY(!mainPanel("Panel14")->isEnabled());

        // Even asked again directly, there stays one.
        main->Panel14Click();
        QCOMPARE(viewers().size(), 1);

        scripted->dialogs.answers.enqueue({test::Q(dir / "a.png")});
        viewer->findChild<PanelButton *>("Panel6")->click();
        QCOMPARE(plainModel->folder.count(), 2);

        if (byKey)
            QTest::keyClick(viewer.data(), Qt::Key_E);
        else
            viewer->close();
        QVERIFY(mainPanel("Panel9")->isEnabled());
        QVERIFY(mainPanel("Panel14")->isEnabled());
        QTRY_VERIFY(viewer.isNull());
        QVERIFY(viewers().isEmpty());

        // A fresh viewer, with its commands disabled though the earlier list is still there.
        mainPanel("Panel14")->click();
        QCOMPARE(viewers().size(), 1);
        TForm7g *again = viewers().constFirst();
        QCOMPARE(plainModel->folder.count(), 2);
        for (const char *name : {"Panel1", "Panel3", "Panel4", "Panel5", "Panel7", "Panel8"})
            QVERIFY2(!again->findChild<PanelButton *>(name)->isEnabled(), name);
        for (const char *name : {"mn1", "mn4", "mn6", "pG1", "F1", "mn11"})
            QVERIFY2(!again->findChild<QAction *>(name)->isEnabled(), name);
        QVERIFY(again->findChild<PanelButton *>("Panel6")->isEnabled());
        QVERIFY(!mainPanel("Panel14")->isEnabled());
    }

    void theToolsOpenFromThePlainViewersMenuEachTimeAnew_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        QTest::newRow("compress") << "mn7" << "TForm9g" << "To compress a photo";
        QTest::newRow("transform") << "mn8" << "TForm10g" << "To transform a photo";
        QTest::newRow("scale") << "mn10" << "TForm11g" << "Scaling of the Photo";
    }
    void theToolsOpenFromThePlainViewersMenuEachTimeAnew()
    {
        QFETCH(QString, item);
        QFETCH(QString, window);
        QFETCH(QString, title);
        test::TempDir dir;
        QVERIFY(QImage(QSize(40, 30), QImage::Format_RGB32).save(test::Q(dir / "a.png"), "png"));
        mainPanel("Panel14")->click();
        TForm7g *viewer = viewers().constFirst();
        scripted->dialogs.answers.enqueue({test::Q(dir / "a.png")});
        viewer->findChild<PanelButton *>("Panel6")->click();

        QList<QPointer<QWidget>> opened;
        for (int i = 0; i < 2; ++i) {
            test::ExpectModal expect([&](QWidget *modal) {
                opened << modal;
                QCOMPARE(modal->objectName(), window);
                QCOMPARE(modal->windowTitle(), title);
                QCOMPARE(modal->parentWidget(), viewer);
                modal->close();
            });
            viewer->findChild<QAction *>(item)->trigger();
        }
        QCOMPARE(opened.size(), 2);
        QTRY_VERIFY(opened[0].isNull() && opened[1].isNull());  // gone when closed
    }

    void aCipheredFileOnTheCommandLineShowsOnceTheCodeIsEntered()
    {
        test::TempDir dir;
        CipheredPhoto(dir / "a.veil");
        CipheredPhoto(dir / "b.veil");
        CipheredPhoto(dir / "c.veil");
        {
            test::ExpectModal codeWindow([](QWidget *window) {
                QCOMPARE(window->objectName(), QString("TForm2"));
                window->findChild<QPlainTextEdit *>("Memo1")->setPlainText(QString::fromStdU16String(std::u16string(Code)));
                window->findChild<QPushButton *>("Button5")->click();  // "Photo"
            });
            OpenFromCommandLine(*main, *mainModel, *engine, test::Q(dir / "b.veil"));
        }
        QVERIFY(engine->CodeEntered());
        QVERIFY(viewers().isEmpty());
        // Shown at once, without " Open" and without a dialog.
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QCOMPARE(mainModel->folder.count(), 3);
        QCOMPARE(mainModel->folder.index(), 1);
        QVERIFY(test::ShowsPicture(main.get()));
        QVERIFY(scripted->messages.shown.isEmpty());
    }

    // While the code is typed, the named file is read; once the code is in, the photo's key is
    // stretched, and it is deciphered and decoded, on the worker while its folder is listed,
    // the window painting meanwhile.
    void aCipheredFileOnTheCommandLineIsPreparedWhileTheCodeIsTypedAndItsKeyStretched()
    {
        test::TempDir dir;
        for (const char *name : {"a.veil", "b.veil", "c.veil"})
            test::CipherInto(dir / name, test::EncodedPhoto("png"), Code);  // sealed: a key each
        const QString named = test::Q(dir / "b.veil");
        if (InCache(dir / "b.veil", true))
            QSKIP("this file system keeps every file in memory");
        bool readMeanwhile = false;
        int waitTicks = 0, onItsWay = 0;
        QTimer watch;
        watch.setInterval(2);
        connect(&watch, &QTimer::timeout, [&] {
            if (!engine->CodeEntered() || QApplication::activeModalWidget() || test::ShowsPicture(main.get()))
                return;
            ++waitTicks;
            onItsWay += main->preparedPaths().contains(named);
        });
        watch.start();
        {
            test::ExpectModal codeWindow([&](QWidget *window) {
                for (int i = 0; i < 200 && !readMeanwhile; ++i) {
                    readMeanwhile = InCache(dir / "b.veil");
                    QTest::qWait(10);
                }
                window->findChild<QPlainTextEdit *>("Memo1")->setPlainText(QString::fromStdU16String(std::u16string(Code)));
                window->findChild<QPushButton *>("Button5")->click();
            });
            OpenFromCommandLine(*main, *mainModel, *engine, named);
        }
        watch.stop();
        QVERIFY(readMeanwhile);
        QVERIFY(test::ShowsPicture(main.get()));
        QCOMPARE(mainModel->folder.count(), 3);
        QCOMPARE(mainModel->folder.current(), named);
        // The window went on with its events while the key was stretched, more than the one
        // pass over waiting events before the photo is shown.
        QVERIFY(waitTicks > 1);
        QCOMPARE(onItsWay, waitTicks);
    }

    // The code window closed without a code: nothing is shown and it is not asked again.
    void aCipheredFileOnTheCommandLineWithTheCodeWindowClosed()
    {
        test::TempDir dir;
        CipheredPhoto(dir / "a.veil");
        int modals = 0;
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, [&modals] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ++modals;
                modal->close();
            }
        });
        watch.start();
        OpenFromCommandLine(*main, *mainModel, *engine, test::Q(dir / "a.veil"));
        QCOMPARE(modals, 1);
        QVERIFY(!engine->CodeEntered());
        QVERIFY(mainModel->folder.paths().isEmpty());
        QVERIFY(scripted->dialogs.requests.isEmpty());
    }

    void aCipheredFileOnTheCommandLineOpensAtOnceOnceTheCodeIsIn()
    {
        test::TempDir dir;
        CipheredPhoto(dir / "a.veil");
        CipheredPhoto(dir / "b.veil");
        engine->BuildKeyTable(Code);
        OpenFromCommandLine(*main, *mainModel, *engine, test::Q(dir / "b.veil"));
        QCOMPARE(mainModel->folder.count(), 2);
        QCOMPARE(mainModel->folder.index(), 1);
        QVERIFY(test::ShowsPicture(main.get()));
        QVERIFY(viewers().isEmpty());
    }

    void aPhotoOnTheCommandLineOpensInThePlainViewer_data()
    {
        QTest::addColumn<bool>("startedEarly");
        QTest::addColumn<bool>("changedMeanwhile");
        QTest::newRow("opened") << false << false;
        // As the program does it: decoding starts while the windows are built.
        QTest::newRow("decoded while the windows are built") << true << false;
        QTest::newRow("changed while it was decoded") << true << true;
    }

    void aPhotoOnTheCommandLineOpensInThePlainViewer()
    {
        QFETCH(bool, startedEarly);
        QFETCH(bool, changedMeanwhile);
        test::TempDir dir;
        for (const char *name : {"a.png", "b.jpg", "c.png"})
            test::WriteFile(dir / name, test::EncodedPhoto(name[2] == 'p' ? "png" : "jpg"));
        test::WriteText(dir / "d.txt", "not a photo");

        if (startedEarly)
            StartViewing(*main, test::Q(dir / "c.png"));
        if (changedMeanwhile) {
            // The first content decoded ahead, then the file written anew.
            QTRY_VERIFY(viewers().size() == 1 && viewers().constFirst()->preparedReady(test::Q(dir / "c.png")));
            test::WriteFile(dir / "c.png", test::EncodedPhoto("png", Qt::blue));
        }
        OpenFromCommandLine(*main, *mainModel, *engine, test::Q(dir / "c.png"));
        QCOMPARE(viewers().size(), 1);
        TForm7g *viewer = viewers().constFirst();
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->parentWidget(), main.get());
        QCOMPARE(plainModel->folder.count(), 3);
        QCOMPARE(plainModel->folder.index(), 2);
        QVERIFY(test::ShowsPicture(viewer));
        const QRgb shown = test::Child<QLabel>(viewer, "Image1")->pixmap().toImage().pixel(2, 2);
        QCOMPARE(QColor(shown), changedMeanwhile ? QColor(Qt::blue) : QColor(Qt::red));
        // The same state as "Viewing" leaves, and no code was asked for.
        QVERIFY(!mainPanel("Panel9")->isEnabled());
        QVERIFY(!mainPanel("Panel14")->isEnabled());
        QVERIFY(!engine->CodeEntered());
        QVERIFY(mainModel->folder.paths().isEmpty());
        QVERIFY(scripted->dialogs.requests.isEmpty());
    }

    void aPhotoNamedFromItsOwnFolderIsFound()
    {
        test::TempDir dir;
        for (const char *name : {"a.jpg", "b.jpg"})
            test::WriteFile(dir / name, test::EncodedPhoto("jpg"));
        const QString started = QDir::currentPath();
        QVERIFY(QDir::setCurrent(test::Q(dir.path())));
        OpenFromCommandLine(*main, *mainModel, *engine, QStringLiteral("b.jpg"));
        QDir::setCurrent(started);
        QCOMPARE(viewers().size(), 1);
        QCOMPARE(plainModel->folder.count(), 2);
        QCOMPARE(plainModel->folder.current(), test::Q(dir / "b.jpg"));
        QVERIFY(test::ShowsPicture(viewers().constFirst()));
    }

    void anythingElseOnTheCommandLineIsIgnoredAsADropOfItIs_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("another kind") << "notes.txt";
        QTest::newRow("absent .veil") << "gone.veil";
        QTest::newRow("absent photo") << "gone.png";
        QTest::newRow("a folder named like a .veil") << "folder.veil";
        QTest::newRow("a folder named like a photo") << "folder.jpg";
    }

    void anythingElseOnTheCommandLineIsIgnoredAsADropOfItIs()
    {
        QFETCH(QString, name);
        test::TempDir dir;
        test::WriteText(dir / "notes.txt", "text");
        std::filesystem::create_directory(dir / "folder.veil");
        std::filesystem::create_directory(dir / "folder.jpg");
        CipheredPhoto(dir / "a.veil");
        test::WriteFile(dir / "a.png", test::EncodedPhoto("png"));

        // A code window would be a fault: it is noticed and closed.
        bool modalSeen = false;
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, [&modalSeen] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                modalSeen = true;
                modal->close();
            }
        });
        watch.start();
        OpenFromCommandLine(*main, *mainModel, *engine, test::Q(dir / name.toStdString()));
        QCoreApplication::processEvents();  // anything it posted, a window among it
        QVERIFY(!modalSeen);
        QVERIFY(viewers().isEmpty());
        QVERIFY(mainModel->folder.paths().isEmpty());
        QVERIFY(scripted->dialogs.requests.isEmpty());
        QVERIFY(scripted->messages.shown.isEmpty());
        QVERIFY(mainPanel("Panel14")->isEnabled());
        // Nothing was left waiting for Open either: with the code in, it asks for a file.
        watch.stop();
        engine->BuildKeyTable(Code);
        main->Panel6Click();
        QCOMPARE(scripted->dialogs.requests.size(), 1);
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
