#pragma once
// The main window's rules that need no window: fitting the picture and the key map.

#include <QRect>
#include <QSize>

namespace veilshot {

// The picture's place in an area: its proportions kept (ratio = width / height), filling the
// area in one direction and centred in the other. Sizes round halves to even; the centring
// offset truncates toward zero. Ratio 0 (no picture yet) gives the full height and width 0.
QRect FitPicture(double ratio, QSize area);

// What a key does in the main window. None: the key is not the window's and passes on.
enum class MainKey {
    None,
    Forward,
    Back,
    Stop,
    Copy,
    FullScreen,
    Presurvey,
    ToggleStrip,
    Exit,
    Radio1,
    Radio2,
    Radio3,
    Radio5,
    Radio10,
    Radio20,
    RadioManual,
};

// The key map looks at the key alone, never at Shift, Ctrl or Alt. The digits are those of
// the main row: by their symbol, or by their position where a layout puts other symbols
// there (`scanCode`, X11/evdev key codes 10..17); the keypad's digits are not the window's.
MainKey MainKeyFor(int qtKey, bool keypad, quint32 scanCode = 0);

// The radio button a digit key chooses, as an index into RadioChoices; -1 for none.
int RadioIndexFor(MainKey key);

}  // namespace veilshot
