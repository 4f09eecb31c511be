#include "application.h"

#include "form7.h"
#include "imaging.h"
#include "linuxplatform.h"
#include "privacy.h"
#include "sharedstate.h"

#include <QApplication>

#include <memory>

namespace veilshot {

int RunApplication(int argc, char **argv)
{
    // Before anything private is in memory: no core dumps of this process.
    HardenProcess();
    QApplication app(argc, argv);
    // No display name: the window system would add it to every title.
    QApplication::setApplicationName(QStringLiteral("Veilshot"));
    imaging::ImagingLibrary imaging;

    auto state = std::make_unique<SharedState>();
    platform::LinuxPlatform platform;
    TForm7 window(*state, platform.platform());
    window.show();
    return app.exec();
}

}  // namespace veilshot
