#include "mainrules.h"

#include <cmath>

namespace veilshot {

QRect FitPicture(double ratio, QSize area)
{
    const int w = area.width(), h = area.height();
    if (h <= 0 || w <= 0)
        return QRect(0, 0, std::max(w, 0), std::max(h, 0));
    const double areaRatio = double(w) / double(h);
    if (areaRatio >= ratio) {
        const int width = int(std::nearbyint(h * ratio));
        return QRect((w - width) / 2, 0, width, h);
    }
    const int height = int(std::nearbyint(w / ratio));
    return QRect(0, (h - height) / 2, w, height);
}

MainKey MainKeyFor(int qtKey, bool keypad, quint32 scanCode)
{
    switch (qtKey) {
    case Qt::Key_Right: return MainKey::Forward;
    case Qt::Key_Left: return MainKey::Back;
    case Qt::Key_Down: return MainKey::Stop;
    case Qt::Key_Up: return MainKey::Copy;
    case Qt::Key_M: return MainKey::FullScreen;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: return MainKey::Presurvey;
    case Qt::Key_E: return MainKey::Exit;
    default: break;
    }
    int digit = -1;
    if (!keypad && qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        digit = qtKey - Qt::Key_0;
    else if (!keypad && scanCode >= 10 && scanCode <= 18)  // the main row's 1..9 on X11 and evdev
        digit = int(scanCode) - 9;
    switch (digit) {
    case 9: return MainKey::ToggleStrip;
    case 1: return MainKey::Radio1;
    case 2: return MainKey::Radio2;
    case 3: return MainKey::Radio3;
    case 5: return MainKey::Radio5;
    case 6: return MainKey::Radio10;
    case 7: return MainKey::Radio20;
    case 8: return MainKey::RadioManual;
    default: return MainKey::None;
    }
}

int RadioIndexFor(MainKey key)
{
    switch (key) {
    case MainKey::RadioManual: return 0;
    case MainKey::Radio1: return 1;
    case MainKey::Radio2: return 2;
    case MainKey::Radio3: return 3;
    case MainKey::Radio5: return 4;
    case MainKey::Radio10: return 5;
    case MainKey::Radio20: return 6;
    default: return -1;
    }
}

}  // namespace veilshot
