#pragma once
// The session's lock and the screen saver, heard on D-Bus: logind's Lock signal for this
// session on the system bus, and the screen saver's ActiveChanged(true) on the session bus.

#include "platform/platform.h"

#include <QDBusConnection>

namespace veilshot::platform {

class DBusSessionWatch final : public SessionWatch {
    Q_OBJECT
public:
    // Listens on the two buses given; where one is not connected, only the other is heard.
    DBusSessionWatch(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);

private slots:
    void onLock();
    void onScreenSaver(bool active);
};

}  // namespace veilshot::platform
