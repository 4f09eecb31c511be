#pragma once
// The session's lock and the screen saver, heard on D-Bus: logind's Lock signal for this
// session on the system bus, and the screen saver's ActiveChanged(true) on the session bus.

#include "platform/platform.h"

#include <QDBusConnection>

namespace veilshot::platform {

class DBusSessionWatch final : public SessionWatch {
    Q_OBJECT
public:
    DBusSessionWatch() = default;
    // Listens on the two buses given; where one is not connected, only the other is heard. May
    // run on another thread, as connecting to the buses and asking logind take round trips that
    // start-up need not wait for; what is heard still reaches this object on its own thread.
    void listen(const QDBusConnection &systemBus, const QDBusConnection &sessionBus);

private slots:
    void onLock();
    void onScreenSaver(bool active);
};

}  // namespace veilshot::platform
