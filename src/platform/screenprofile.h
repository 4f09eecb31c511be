#pragma once
// The screen's colour profile, as the desktop publishes it: the ICC profile bytes, handed to
// the imaging library as data; empty when the screen publishes none (sRGB).

#include <QByteArray>

struct xcb_connection_t;

namespace veilshot::platform {

class ScreenProfile {
public:
    virtual ~ScreenProfile() = default;
    virtual QByteArray iccProfile() const = 0;
};

// The profile an X server publishes for its first screen (`_ICC_PROFILE` on the root window, as
// colour managers set it). Empty on other window systems, or when it holds none.
class XScreenProfile : public ScreenProfile {
public:
    QByteArray iccProfile() const override;
    // The same, from the X server at the other end of `connection`.
    static QByteArray read(xcb_connection_t *connection);
};

// For tests: the profile they give.
class ScriptedScreenProfile : public ScreenProfile {
public:
    explicit ScriptedScreenProfile(QByteArray profile = {}) : profile_(std::move(profile)) {}
    QByteArray iccProfile() const override { return profile_; }

private:
    QByteArray profile_;
};

}  // namespace veilshot::platform
