// The session watch on private buses of its own: two dbus-daemons started by the test, one as
// the session bus and one standing in for the system bus, on which the test plays logind and
// the desktops' screen savers.

#include "platform/sessionwatch.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <thread>

namespace veilshot::platform {
namespace {

// A dbus-daemon of the test's own, ended with it.
class PrivateDaemon {
public:
    PrivateDaemon()
    {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateDaemon()
    {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    const QString &address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

class PrivateBuses : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "no dbus-daemon";
        system = std::make_unique<PrivateDaemon>();
        session = std::make_unique<PrivateDaemon>();
        ASSERT_FALSE(system->address().isEmpty());
        ASSERT_FALSE(session->address().isEmpty());
    }
    void TearDown() override
    {
        for (const char *name : {"watch-system", "watch-session", "emit-system", "emit-session"})
            QDBusConnection::disconnectFromBus(QLatin1String(name));
        session.reset();
        system.reset();
    }

    static QDBusConnection connect(const PrivateDaemon &daemon, const char *name)
    {
        return QDBusConnection::connectToBus(daemon.address(), QLatin1String(name));
    }

    std::unique_ptr<PrivateDaemon> system, session;
};

enum class Bus { System, Session };

// Counts a signal of the test's own, heard on the watch's connection after the case's signal:
// a bus delivers one sender's signals in order, so once it has arrived the case's signal has
// been handled too, or never will be.
class Sentinel : public QObject {
    Q_OBJECT
public:
    int arrived = 0;
public slots:
    void arrive() { ++arrived; }
};

QDBusMessage Signal(const char *path, const char *interface, const char *name, const QVariantList &arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createSignal(QLatin1String(path), QLatin1String(interface), QLatin1String(name));
    message.setArguments(arguments);
    return message;
}

QDBusMessage ActiveChanged(const char *screenSaver, bool active)
{
    return Signal("/org/gnome/ScreenSaver", screenSaver, "ActiveChanged", {active});
}

QDBusMessage SessionProperties(const char *interface, const QVariantMap &changed, const QStringList &invalidated = {})
{
    return Signal("/org/freedesktop/login1/session/_31", "org.freedesktop.DBus.Properties", "PropertiesChanged",
                  {QString::fromLatin1(interface), changed, invalidated});
}

TEST_F(PrivateBuses, EveryDesktopsLockAndSleepAreHeard)
{
    const QDBusConnection systemBus = connect(*system, "watch-system");
    const QDBusConnection sessionBus = connect(*session, "watch-session");
    ASSERT_TRUE(systemBus.isConnected());
    ASSERT_TRUE(sessionBus.isConnected());
    DBusSessionWatch watch;
    // From another thread, as the program connects it beside start-up.
    std::thread([&] { watch.listen(systemBus, sessionBus); }).join();
    QSignalSpy locked(&watch, &SessionWatch::locked);
    QDBusConnection emitSystem = connect(*system, "emit-system");
    QDBusConnection emitSession = connect(*session, "emit-session");

    struct Case {
        const char *what;
        Bus bus;
        QDBusMessage signal;
        bool heard;
    };
    const QVariantMap lockedHint{{QStringLiteral("LockedHint"), true}};
    const QVariantMap unlockedHint{{QStringLiteral("LockedHint"), false}};
    const Case cases[] = {
        {"logind asks the session to lock", Bus::System,
         Signal("/org/freedesktop/login1/session/_31", "org.freedesktop.login1.Session", "Lock"), true},
        {"logind asks the session to unlock", Bus::System,
         Signal("/org/freedesktop/login1/session/_31", "org.freedesktop.login1.Session", "Unlock"), false},
        {"the desktop's lock sets LockedHint", Bus::System, SessionProperties("org.freedesktop.login1.Session", lockedHint),
         true},
        {"LockedHint among other changes", Bus::System,
         SessionProperties("org.freedesktop.login1.Session",
                           {{QStringLiteral("IdleHint"), true}, {QStringLiteral("LockedHint"), true}}),
         true},
        {"the unlock clears LockedHint", Bus::System, SessionProperties("org.freedesktop.login1.Session", unlockedHint),
         false},
        {"another property of the session changes", Bus::System,
         SessionProperties("org.freedesktop.login1.Session", {{QStringLiteral("IdleHint"), true}}), false},
        {"a LockedHint of another interface", Bus::System, SessionProperties("org.example.Other", lockedHint), false},
        {"the machine goes to sleep", Bus::System,
         Signal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", {true}), true},
        {"the machine wakes", Bus::System,
         Signal("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", {false}), false},
        {"the freedesktop screen saver starts", Bus::Session, ActiveChanged("org.freedesktop.ScreenSaver", true), true},
        {"the freedesktop screen saver stops", Bus::Session, ActiveChanged("org.freedesktop.ScreenSaver", false), false},
        {"GNOME's lock starts", Bus::Session, ActiveChanged("org.gnome.ScreenSaver", true), true},
        {"GNOME's lock ends", Bus::Session, ActiveChanged("org.gnome.ScreenSaver", false), false},
        {"Cinnamon's screen saver starts", Bus::Session, ActiveChanged("org.cinnamon.ScreenSaver", true), true},
        {"MATE's screen saver starts", Bus::Session, ActiveChanged("org.mate.ScreenSaver", true), true},
        {"Xfce's screen saver starts", Bus::Session, ActiveChanged("org.xfce.ScreenSaver", true), true},
        {"an unknown screen saver starts", Bus::Session, ActiveChanged("org.example.ScreenSaver", true), false},
        // Each bus carries only its own signals.
        {"a screen saver on the system bus", Bus::System, ActiveChanged("org.gnome.ScreenSaver", true), false},
        {"logind's Lock on the session bus", Bus::Session,
         Signal("/org/freedesktop/login1/session/_31", "org.freedesktop.login1.Session", "Lock"), false},
    };
    Sentinel sentinel;
    for (QDBusConnection bus : {systemBus, sessionBus}) {
        bus.connect(QString(), QStringLiteral("/test"), QStringLiteral("org.example.Test"), QStringLiteral("Done"),
                    &sentinel, SLOT(arrive()));
        // A round trip: the bus has taken every match rule sent before it.
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QDBusConnection &emitter = c.bus == Bus::System ? emitSystem : emitSession;
        locked.clear();
        sentinel.arrived = 0;
        ASSERT_TRUE(emitter.send(c.signal));
        ASSERT_TRUE(emitter.send(Signal("/test", "org.example.Test", "Done")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sentinel.arrived == 1; }, 10000));
        EXPECT_EQ(locked.count(), int(c.heard));
    }
}

}  // namespace
}  // namespace veilshot::platform

#include "test_sessionwatch.moc"
