#include "application.h"

#include "cipherengine.h"
#include "imaging.h"
#include "linuxplatform.h"
#include "mainwindow.h"
#include "plainviewer.h"
#include "previewwindow.h"
#include "decipheredcopy.h"
#include "fileoperations.h"
#include "platform.h"
#include "privacy.h"
#include "viewermodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace veilshot {

namespace {

// A viewer's preview: made on first use and shown modally; kept hidden while its grid is kept,
// discarded otherwise, and discarded when the viewer opens another folder.
void ConnectPreview(QWidget &owner, ViewerModel &model, platform::Platform &platform, const PreviewKind &kind,
                    const std::function<void(PreviewWindow &)> &wire, std::function<void()> &open,
                    std::function<void()> &discard, QSize screen)
{
    auto window = std::make_shared<QPointer<PreviewWindow>>();
    open = [&owner, &model, &platform, kind, wire, window, screen] {
        if (!*window) {
            *window = new PreviewWindow(model, platform, screen, kind, &owner);
            wire(**window);
        }
        (*window)->exec();
        if (*window && !model.PreviewKept)
            delete window->data();
    };
    discard = [window] {
        if (*window) {
            (*window)->discard();
            delete window->data();
        }
    };
}

constexpr const char *CommandLineHelp =
    "Usage: veilshot [FILE]\n"
    "Shows photos and keeps the ones you choose private.\n"
    "\n"
    "FILE, when given, is opened at the start: a \".veil\" file in the main window (the\n"
    "code window asks for the code first), a photo in the plain viewer.\n"
    "\n"
    "  -h, --help     show this text\n"
    "  -v, --version  show the version\n"
    "\n"
    "The window system's own options, such as -platform NAME, are taken as well.\n";

// What the command line asks for: the file to open (empty: none), or an answer on the
// terminal and the exit status that goes with it.
struct CommandLine {
    QString file;
    std::optional<int> exit;
};

// `settled` is false while the window system's own options may still be among the
// arguments: only --help and --version are answered then.
CommandLine ReadCommandLine(const QStringList &arguments, bool settled)
{
    QCommandLineParser parser;
    // Qt's options are single-dash words (-reverse, -style): one must not read as -r -e -v ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        std::fputs(CommandLineHelp, stdout);
        return {.exit = 0};
    }
    if (parser.isSet(version)) {
        std::fputs("veilshot " VEILSHOT_VERSION "\n", stdout);
        return {.exit = 0};
    }
    if (!settled)
        return {};
    if (!parsed) {
        std::fprintf(stderr, "veilshot: %s\nTry 'veilshot --help'.\n", qPrintable(parser.errorText()));
        return {.exit = 2};
    }
    // Only the first file is taken, as from a drop of several.
    const QStringList files = parser.positionalArguments();
    return {.file = files.isEmpty() ? QString() : files.constFirst()};
}

}  // namespace

void ConnectPresurvey(TForm7 &main, MainModel &model, cipher::CipherEngine &engine, platform::Platform &platform)
{
    ConnectPreview(
        main, model, platform, CipheredPreview(),
        [&main, &engine, &platform](PreviewWindow &preview) {
            // Deciphered in memory only, with the key table in force when the load starts.
            preview.thumbnails = [&engine] {
                std::shared_ptr<cipher::CipherEngine> copy = engine.Copy();
                return [copy](const QString &path) { return DecipherPicture(*copy, path, QSize(ThumbnailBox, ThumbnailBox)); };
            };
            preview.view = [&main, &platform](bool bySpace) {
                platform::RunGuarded(platform.messages, &main, [&main] { main.ipl(); });
                if (bySpace && main.FullScreen)
                    platform.windows.setTopmost(&main, true);
            };
            preview.copyExtension = [](const QString &file) { return StoredExtension(file); };
            preview.copyProposal = [](const QString &file) { return ReplaceExtension(file, StoredExtension(file)); };
            preview.writeCopy = [&engine](const QString &file, const QString &target) {
                const std::unique_ptr<cipher::CipherEngine> copy = engine.Copy();
                WriteDecipheredCopy(*copy, file, target);  // another code: nothing written, nothing said
            };
        },
        main.openPresurvey, main.closePreview, main.screenSize());
}

void ConnectViewing(TForm7 &main, PlainModel &plain, platform::Platform &platform)
{
    main.openViewing = [&main, &plain, &platform, viewer = QPointer<TForm7g>()]() mutable {
        if (viewer)
            return;
        viewer = new TForm7g(plain, platform, main.screenSize(), &main);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->closed = [&main] { main.setViewingAvailable(true); };
        TForm7g *shown = viewer;
        ConnectPreview(
            *shown, plain, platform, PlainPreview(),
            [shown, &platform](PreviewWindow &preview) {
                preview.thumbnails = [] {
                    return [](const QString &path) { return Prepared{imaging::OpenFile(path, QSize(ThumbnailBox, ThumbnailBox))}; };
                };
                preview.view = [shown, &platform](bool) {
                    shown->ReloadPending = true;
                    platform::RunGuarded(platform.messages, shown, [shown] { shown->redraw(); });
                };
                preview.writeCopy = [](const QString &file, const QString &target) { CopyFileTo(file, target); };
            },
            shown->openPresurvey, shown->closePreview, main.screenSize());
        main.setViewingAvailable(false);
        viewer->show();
    };
}

void OpenFromCommandLine(TForm7 &main, const QString &file)
{
    if (IsPhotoFile(file)) {
        main.openViewing();
        if (auto *viewer = main.findChild<TForm7g *>())
            viewer->DropFiles({file});
    } else {
        main.DropFiles({file});
    }
}

int RunApplication(int argc, char **argv)
{
    // Before anything private is in memory: no core dumps of this process.
    HardenProcess();
    // Answered before the window system is asked for, so they work without a display.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    if (const CommandLine early = ReadCommandLine(rawArguments, false); early.exit)
        return *early.exit;

    QApplication app(argc, argv);
    const CommandLine commandLine = ReadCommandLine(QApplication::arguments(), true);
    if (commandLine.exit)
        return *commandLine.exit;
    // No display name: the window system would add it to every title.
    QApplication::setApplicationName(QStringLiteral("Veilshot"));
    // The desktop entry the window system matches the windows with, for their icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.veilshot.Veilshot"));
    QApplication::setApplicationVersion(QStringLiteral(VEILSHOT_VERSION));
    imaging::ImagingLibrary imaging;

    cipher::CipherEngine engine;
    MainModel mainModel;
    PlainModel plainModel;
    platform::LinuxPlatform platform;
    TForm7 window(mainModel, engine, platform.platform());
    ConnectViewing(window, plainModel, platform.platform());
    ConnectPresurvey(window, mainModel, engine, platform.platform());
    window.show();
    if (!commandLine.file.isEmpty()) {
        // Once the window is up, as a drop would come.
        QTimer::singleShot(0, &window, [&window, file = commandLine.file] { OpenFromCommandLine(window, file); });
    }
    return app.exec();
}

}  // namespace veilshot
