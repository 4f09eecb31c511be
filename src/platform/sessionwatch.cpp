#include "platform/sessionwatch.h"

#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <unistd.h>

namespace veilshot::platform {

namespace {

// This session's object in logind; empty when logind cannot say, and then a lock of any
// session is heard (hiding a picture once too often costs nothing).
QString OwnSession(const QDBusConnection &systemBus)
{
    QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), systemBus);
    if (!manager.isValid())
        return {};
    manager.setTimeout(2000);
    const QDBusReply<QDBusObjectPath> session = manager.call(QStringLiteral("GetSessionByPID"), uint(::getpid()));
    return session.isValid() ? session.value().path() : QString();
}

}  // namespace

void DBusSessionWatch::listen(const QDBusConnection &systemBus, const QDBusConnection &sessionBus)
{
    if (systemBus.isConnected()) {
        QDBusConnection bus = systemBus;
        bus.connect(QString(), OwnSession(systemBus), QStringLiteral("org.freedesktop.login1.Session"),
                    QStringLiteral("Lock"), this, SLOT(onLock()));
    }
    if (sessionBus.isConnected()) {
        QDBusConnection bus = sessionBus;
        bus.connect(QString(), QString(), QStringLiteral("org.freedesktop.ScreenSaver"),
                    QStringLiteral("ActiveChanged"), this, SLOT(onScreenSaver(bool)));
    }
}

void DBusSessionWatch::onLock()
{
    emit locked();
}

void DBusSessionWatch::onScreenSaver(bool active)
{
    if (active)
        emit locked();
}

}  // namespace veilshot::platform
