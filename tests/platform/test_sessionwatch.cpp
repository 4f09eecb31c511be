// The session watch on a private bus of its own: a dbus-daemon started by the test, on which the
// test plays logind and the screen saver.

#include "platform/sessionwatch.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <thread>

namespace veilshot::platform {
namespace {

class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "no dbus-daemon";
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon.waitForReadyRead(10000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("watch"));
        QDBusConnection::disconnectFromBus(QStringLiteral("emitter"));
        daemon.kill();
        daemon.waitForFinished();
    }

    QDBusConnection connect(const QString &name) { return QDBusConnection::connectToBus(address, name); }

    QProcess daemon;
    QString address;
};

TEST_F(PrivateBus, LockAndTheScreenSaverStartingAreHeard)
{
    const QDBusConnection bus = connect(QStringLiteral("watch"));
    ASSERT_TRUE(bus.isConnected());
    DBusSessionWatch watch;
    // From another thread, as the program connects it beside start-up; the private bus stands
    // for both.
    std::thread([&] { watch.listen(bus, bus); }).join();
    QSignalSpy locked(&watch, &SessionWatch::locked);
    QDBusConnection emitter = connect(QStringLiteral("emitter"));

    struct Case {
        const char *what;
        QDBusMessage signal;
        int heard;
    };
    auto screenSaver = [](bool active) {
        QDBusMessage message = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                          QStringLiteral("org.freedesktop.ScreenSaver"),
                                                          QStringLiteral("ActiveChanged"));
        message << active;
        return message;
    };
    const Case cases[] = {
        {"the screen saver stops", screenSaver(false), 0},
        {"the screen saver starts", screenSaver(true), 1},
        {"the session locks",
         QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1/session/_31"),
                                    QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock")),
         1},
        {"the session unlocks",
         QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1/session/_31"),
                                    QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Unlock")),
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        locked.clear();
        ASSERT_TRUE(emitter.send(c.signal));
        if (c.heard)
            EXPECT_TRUE(locked.wait(5000));
        else
            EXPECT_FALSE(locked.wait(300));
        EXPECT_EQ(locked.count(), c.heard);
    }
}

}  // namespace
}  // namespace veilshot::platform
