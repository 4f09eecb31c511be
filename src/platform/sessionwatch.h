#pragma once
// The session's lock, the screen saver and sleep, heard on D-Bus. On the system bus, from
// logind: this session's Lock (a request to lock, as `loginctl lock-session` sends it), its
// LockedHint turning true (GNOME and KDE set it when their own lock starts, Super+L included)
// and the machine's PrepareForSleep(true) (a laptop closed). On the session bus, the screen
// savers' ActiveChanged(true): the freedesktop one (KDE, LXQt), GNOME's (also elementary and
// Budgie), Cinnamon's, MATE's and Xfce's.

#include "platform/platform.h"

#include <QDBusConnection>
#include <QStringList>
#include <QVariantMap>

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
    void onActive(bool active);
    void onSessionProperties(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);
};

}  // namespace veilshot::platform
