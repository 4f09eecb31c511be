#include "platform/screenprofile.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace veilshot::platform {

namespace {

// Profiles with large tables take a few hundred kilobytes; nothing a screen uses is larger.
constexpr std::uint32_t LargestProfile = 4u << 20;

struct Free {
    void operator()(void *reply) const { std::free(reply); }
};

}  // namespace

QByteArray XScreenProfile::iccProfile() const
{
    const auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? read(x11->connection()) : QByteArray();
}

QByteArray XScreenProfile::read(xcb_connection_t *connection)
{
    if (!connection || xcb_connection_has_error(connection))
        return {};
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    static constexpr char name[] = "_ICC_PROFILE";
    const std::unique_ptr<xcb_intern_atom_reply_t, Free> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr));
    if (!screen || !atom || atom->atom == XCB_ATOM_NONE)
        return {};
    const std::unique_ptr<xcb_get_property_reply_t, Free> property(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, screen->root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, LargestProfile / 4),
        nullptr));
    if (!property || property->format != 8)
        return {};
    const int length = xcb_get_property_value_length(property.get());
    return QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())), length);
}

}  // namespace veilshot::platform
