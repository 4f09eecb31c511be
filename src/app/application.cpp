#include "application.h"

#include "cipherengine.h"
#include "commandline.h"
#include "imaging.h"
#include "linuxplatform.h"
#include "screenprofile.h"
#include "mainwindow.h"
#include "plainviewer.h"
#include "previewwindow.h"
#include "compresswindow.h"
#include "scalewindow.h"
#include "transformwindow.h"
#include "decipheredcopy.h"
#include "fileoperations.h"
#include "platform.h"
#include "privacy.h"
#include "viewermodel.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <cstdio>

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

// The image tools: each opening makes a new window, shown modally and gone when it closes.
template <typename Tool>
std::function<void()> OpenTool(TForm7g &viewer, PlainModel &plain, platform::Platform &platform)
{
    return [&viewer, &plain, &platform] {
        Tool tool(plain, platform, &viewer);
        tool.exec();
    };
}

void ConnectTools(TForm7g &viewer, PlainModel &plain, platform::Platform &platform)
{
    viewer.openCompress = OpenTool<tools::TForm9g>(viewer, plain, platform);
    viewer.openTransform = OpenTool<tools::TForm10g>(viewer, plain, platform);
    viewer.openScale = OpenTool<tools::TForm11g>(viewer, plain, platform);
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
        ConnectTools(*shown, plain, platform);
        main.setViewingAvailable(false);
        viewer->show();
    };
}

namespace {

// Writes what the command line answers and gives its exit status.
int Answer(const CommandLine &answer)
{
    std::fputs(answer.out.toLocal8Bit().constData(), stdout);
    std::fputs(answer.err.toLocal8Bit().constData(), stderr);
    return *answer.exit;
}

}  // namespace

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
        return Answer(early);

    QApplication app(argc, argv);
    const CommandLine commandLine = ReadCommandLine(QApplication::arguments(), true);
    if (commandLine.exit)
        return Answer(commandLine);
    // No display name: the window system would add it to every title.
    QApplication::setApplicationName(QStringLiteral("Veilshot"));
    // The desktop entry the window system matches the windows with, for their icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.veilshot.Veilshot"));
    imaging::ImagingLibrary imaging(platform::XScreenProfile().iccProfile());

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
