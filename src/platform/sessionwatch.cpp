#include "platform/sessionwatch.h"

#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <unistd.h>

namespace veilshot::platform {

namespace {

const QString Logind = QStringLiteral("org.freedesktop.login1");
const QString LogindSession = QStringLiteral("org.freedesktop.login1.Session");

// This session's object in logind; empty when logind cannot say, and then a lock of any
// session is heard (hiding a picture once too often costs nothing).
QString OwnSession(const QDBusConnection &systemBus)
{
    QDBusInterface manager(Logind, QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"), systemBus);
    if (!manager.isValid())
        return {};
    manager.setTimeout(2000);
    const QDBusReply<QDBusObjectPath> session = manager.call(QStringLiteral("GetSessionByPID"), uint(::getpid()));
    return session.isValid() ? session.value().path() : QString();
}

// The interfaces on which the desktops' screen savers announce that they started (or locked):
// each sends ActiveChanged(bool) on the session bus.
const char *const ScreenSavers[] = {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver",
                                    "org.cinnamon.ScreenSaver", "org.mate.ScreenSaver",
                                    "org.xfce.ScreenSaver"};

}  // namespace

void DBusSessionWatch::listen(const QDBusConnection &systemBus, const QDBusConnection &sessionBus)
{
    if (systemBus.isConnected()) {
        QDBusConnection bus = systemBus;
        const QString session = OwnSession(systemBus);
        bus.connect(QString(), session, LogindSession, QStringLiteral("Lock"), this, SLOT(onLock()));
        bus.connect(QString(), session, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), {LogindSession}, QString(), this,
                    SLOT(onSessionProperties(QString, QVariantMap, QStringList)));
        bus.connect(QString(), QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
                    QStringLiteral("PrepareForSleep"), this, SLOT(onActive(bool)));
    }
    if (sessionBus.isConnected()) {
        QDBusConnection bus = sessionBus;
        for (const char *screenSaver : ScreenSavers)
            bus.connect(QString(), QString(), QLatin1String(screenSaver), QStringLiteral("ActiveChanged"), this,
                        SLOT(onActive(bool)));
    }
}

void DBusSessionWatch::onLock()
{
    emit locked();
}

void DBusSessionWatch::onActive(bool active)
{
    if (active)
        emit locked();
}

void DBusSessionWatch::onSessionProperties(const QString &interface, const QVariantMap &changed,
                                           const QStringList &invalidated)
{
    (void)invalidated;  // logind sends LockedHint's new value with the change
    const auto hint = changed.find(QStringLiteral("LockedHint"));
    if (interface == LogindSession && hint != changed.end() && hint->toBool())
        emit locked();
}

}  // namespace veilshot::platform
