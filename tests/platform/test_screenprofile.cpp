// The screen's colour profile as an X server publishes it, read from a virtual X server.

#include "platform/screenprofile.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace veilshot::platform {
namespace {

// A virtual X server for the test's lifetime, and a connection to it.
class VirtualServer {
public:
    VirtualServer()
    {
        // A display number of this process's own, far from those of desktops and other runs.
        const std::string display = ":" + std::to_string(200 + ::getpid() % 5000);
        server_.start("Xvfb", {QString::fromStdString(display), "-nolisten", "tcp", "-screen", "0", "64x64x24"});
        for (int tries = 0; tries < 100 && server_.state() != QProcess::NotRunning; ++tries) {
            connection_.reset(xcb_connect(display.c_str(), nullptr));
            if (!xcb_connection_has_error(connection_.get()))
                return;
            ::usleep(50'000);
        }
        connection_.reset();
    }
    ~VirtualServer()
    {
        connection_.reset();
        server_.kill();
        server_.waitForFinished(5'000);
    }
    xcb_connection_t *connection() const { return connection_.get(); }

private:
    QProcess server_;
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> connection_{nullptr, xcb_disconnect};
};

void Publish(xcb_connection_t *connection, const QByteArray &profile)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    static constexpr char name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, screen->root, atom->atom, XCB_ATOM_CARDINAL, 8,
                        std::uint32_t(profile.size()), profile.constData());
    xcb_flush(connection);
    std::free(atom);
}

TEST(ScreenProfile, IsReadFromTheRootWindowAndEmptyWithoutOne)
{
    const VirtualServer server;
    ASSERT_TRUE(server.connection()) << "Xvfb did not start";
    EXPECT_EQ(XScreenProfile::read(server.connection()), QByteArray());

    QByteArray profile(70'000, '\0');  // larger than one request's worth of a property
    for (int i = 0; i < profile.size(); ++i)
        profile[i] = char(i * 7);
    Publish(server.connection(), profile);
    EXPECT_EQ(XScreenProfile::read(server.connection()), profile);
}

TEST(ScreenProfile, IsEmptyWithoutAnXServer)
{
    EXPECT_EQ(XScreenProfile().iccProfile(), QByteArray());  // the tests' offscreen platform
    EXPECT_EQ(ScriptedScreenProfile("icc").iccProfile(), QByteArray("icc"));
}

}  // namespace
}  // namespace veilshot::platform
