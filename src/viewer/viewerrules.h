#pragma once
// The viewers' rules that need no window: fitting the picture and the key maps.

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

#include <ostream>

namespace veilshot {

// How the centring offset of a fitted picture is rounded.
enum class Centring {
    RoundedSize,        // half of (area - the rounded picture size)
    RoundedDifference,  // half of the area less the exact picture size, rounded first
};

// The picture's place in an area: its proportions kept (ratio = width / height), filling the
// area in one direction and centred in the other. Sizes round halves to even; the halving of
// the centring offset truncates toward zero. Ratio 0 (no picture yet) gives the full height
// and width 0.
QRect FitPicture(double ratio, QSize area, Centring centring = Centring::RoundedSize);

// The encoder MIME type a photo of this file name is turned with ("image/jpeg" for ".jpg"),
// or "" for the kinds that are not turned (".tiff", ".ico", ".jpe" and the rest).
QString TurnMimeFor(const QString &path);

// What the status line says of a file that cannot be shown, given the message of the box that
// would say it: the file's name first, then why, without the path again.
QString FailureStatus(const QString &path, const QString &message);

// The message that names the files a run over a folder did not write ("name: reason" each, in
// list order): the first of them, then how many more; with `written`, how many were.
QString NotWrittenReport(const QStringList &failures, std::optional<int> written = std::nullopt);

// The two viewers, whose key maps differ.
enum class Viewer { Ciphered, Plain };

// What a key does in a viewer. None: the key is not the window's and passes on.
enum class ViewerKey {
    None,
    Forward,
    Back,
    Stop,
    Copy,
    FullScreen,
    Presurvey,
    ToggleStrip,
    Exit,
    TurnRight,
    TurnLeft,
    Radio,  // choose a radio button of the slide-show strip
};

struct KeyAction {
    ViewerKey key = ViewerKey::None;
    int radio = -1;  // with Radio: the index into RadioChoices
    friend bool operator==(const KeyAction &, const KeyAction &) = default;
    friend std::ostream &operator<<(std::ostream &os, const KeyAction &a)
    {
        return os << "key " << int(a.key) << " radio " << a.radio;
    }
};

// The key maps look at the key alone, never at Shift, Ctrl or Alt. The digits are those of the
// main row: by their symbol, or by their position where a layout puts other symbols there
// (`scanCode`, X11/evdev key codes 10..18); the keypad's digits are not the windows'.
KeyAction KeyFor(Viewer viewer, int qtKey, bool keypad, quint32 scanCode = 0);

}  // namespace veilshot
