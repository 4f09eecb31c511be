#include "application.h"

#include "cipherengine.h"
#include "imaging.h"
#include "linuxplatform.h"
#include "mainwindow.h"
#include "plainviewer.h"
#include "privacy.h"
#include "viewermodel.h"

#include <QApplication>
#include <QPointer>

namespace veilshot {

void ConnectViewing(TForm7 &main, PlainModel &plain, platform::Platform &platform)
{
    main.openViewing = [&main, &plain, &platform, viewer = QPointer<TForm7g>()]() mutable {
        if (viewer)
            return;
        viewer = new TForm7g(plain, platform, main.screenSize(), &main);
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->closed = [&main] { main.setViewingAvailable(true); };
        main.setViewingAvailable(false);
        viewer->show();
    };
}

int RunApplication(int argc, char **argv)
{
    // Before anything private is in memory: no core dumps of this process.
    HardenProcess();
    QApplication app(argc, argv);
    // No display name: the window system would add it to every title.
    QApplication::setApplicationName(QStringLiteral("Veilshot"));
    imaging::ImagingLibrary imaging;

    cipher::CipherEngine engine;
    MainModel mainModel;
    PlainModel plainModel;
    platform::LinuxPlatform platform;
    TForm7 window(mainModel, engine, platform.platform());
    ConnectViewing(window, plainModel, platform.platform());
    window.show();
    return app.exec();
}

}  // namespace veilshot
