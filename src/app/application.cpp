#include "app/application.h"

#include "app/commandline.h"
#include "cipher/cipherengine.h"
#include "cipher/privacy.h"
#include "files/folderlisting.h"
#include "imaging/imaging.h"
#include "mainwin/mainwindow.h"
#include "plainview/plainviewer.h"
#include "platform/linuxplatform.h"
#include "platform/platform.h"
#include "platform/screenprofile.h"
#include "preview/keptpreview.h"
#include "tools/compresswindow.h"
#include "tools/scalewindow.h"
#include "tools/transformwindow.h"
#include "viewer/viewermodel.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace veilshot {

namespace {

// The image tools: each opening makes a new window, shown modally and gone when it closes.
template <typename Tool>
void ConnectTool(TForm7g &viewer, void (TForm7g::*request)(), PlainModel &plain, platform::Platform &platform)
{
    QObject::connect(&viewer, request, &viewer, [&viewer, &plain, &platform] {
        platform::RunGuarded(platform.messages, &viewer, [&] {
            Tool tool(plain, platform, &viewer);
            tool.exec();
        });
    });
}

// The preview of a viewer's folder, and the kept one discarded when another folder opens.
KeptPreview *ConnectPreview(ViewerWindow &viewer, ViewerModel &model, std::unique_ptr<PreviewPhotos> photos,
                            platform::Platform &platform, const PreviewKind &kind, QSize screen)
{
    auto *preview = new KeptPreview(viewer, model, std::move(photos), platform, kind, screen);
    QObject::connect(&viewer, &ViewerWindow::presurveyRequested, preview, &KeptPreview::open);
    QObject::connect(&viewer, &ViewerWindow::previewOutdated, preview, &KeptPreview::discard);
    return preview;
}

}  // namespace

void ConnectPresurvey(TForm7 &main, MainModel &model, cipher::CipherEngine &engine, platform::Platform &platform)
{
    KeptPreview *preview = ConnectPreview(main, model, std::make_unique<CipheredPhotos>(engine), platform,
                                          CipheredPreview(), main.screenSize());
    // The picked photo is shown already: picking set the position.
    QObject::connect(preview, &KeptPreview::viewRequested, &main, [&main, &platform](bool bySpace) {
        if (bySpace && main.fullScreen())
            platform.windows.setTopmost(&main, true);
    });
}

void ConnectViewing(TForm7 &main, PlainModel &plain, platform::Platform &platform)
{
    QObject::connect(&main, &TForm7::viewingRequested, &main, [&main, &plain, &platform] {
        if (main.findChild<TForm7g *>())
            return;  // one at a time
        platform::RunGuarded(platform.messages, &main, [&] {
            auto *viewer = new TForm7g(plain, platform, main.screenSize(), &main);
            viewer->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(viewer, &TForm7g::closed, &main, [&main] { main.setViewingAvailable(true); });
            KeptPreview *preview = ConnectPreview(*viewer, plain, std::make_unique<PlainPhotos>(), platform,
                                                  PlainPreview(), main.screenSize());
            QObject::connect(preview, &KeptPreview::viewRequested, viewer, [viewer, &platform] {
                platform::RunGuarded(platform.messages, viewer, [viewer] { viewer->reloadCurrent(); });
            });
            ConnectTool<tools::TForm9g>(*viewer, &TForm7g::compressRequested, plain, platform);
            ConnectTool<tools::TForm10g>(*viewer, &TForm7g::transformRequested, plain, platform);
            ConnectTool<tools::TForm11g>(*viewer, &TForm7g::scaleRequested, plain, platform);
            main.setViewingAvailable(false);
            viewer->show();
        });
    });
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

QString CommandLineFile(const QString &named)
{
    // A name relative to where the program was started: the windows list and show whole paths.
    return named.isEmpty() ? named : QFileInfo(named).absoluteFilePath();
}

void StartViewing(TForm7 &main, const QString &named)
{
    const QString file = CommandLineFile(named);
    if (!IsPhotoFile(file))
        return;
    emit main.viewingRequested();
    if (auto *viewer = main.findChild<TForm7g *>())
        viewer->prepareOpening(file);
}

void OpenFromCommandLine(TForm7 &main, const MainModel &model, const cipher::CipherEngine &engine, const QString &named)
{
    const QString file = CommandLineFile(named);
    if (IsPhotoFile(file)) {
        emit main.viewingRequested();
        if (auto *viewer = main.findChild<TForm7g *>())
            viewer->dropFiles({file});
        return;
    }
    main.dropFiles({file});  // taken as a drop: the code window comes first when no code is in
    // Asked for by name, the file is shown as soon as the code is in; it does not wait for Open
    // as a file dropped on the window does.
    if (model.drop.dropped && engine.CodeEntered())
        main.Panel6Click();
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
    // A photo named on the command line is decoded while the windows are built and shown.
    StartViewing(window, commandLine.file);
    window.show();
    if (!commandLine.file.isEmpty()) {
        // Once the window is up, as a drop would come.
        QTimer::singleShot(0, &window, [&window, &mainModel, &engine, file = commandLine.file] {
            OpenFromCommandLine(window, mainModel, engine, file);
        });
    }
    return app.exec();
}

}  // namespace veilshot
