#include "viewer/viewerrules.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "files/localpath.h"
#include "viewer/texts.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace veilshot {

QRect FitPicture(double ratio, QSize area, Centring centring)
{
    const int w = area.width(), h = area.height();
    if (h <= 0 || w <= 0)
        return QRect(0, 0, std::max(w, 0), std::max(h, 0));
    const auto offset = [centring](int room, double exact, int rounded) {
        return centring == Centring::RoundedSize ? (room - rounded) / 2 : int(std::nearbyint(room - exact)) / 2;
    };
    const double areaRatio = double(w) / double(h);
    if (areaRatio >= ratio) {
        const double exact = h * ratio;
        const int width = int(std::nearbyint(exact));
        return QRect(offset(w, exact, width), 0, width, h);
    }
    const double exact = w / ratio;
    const int height = int(std::nearbyint(exact));
    return QRect(0, offset(h, exact, height), w, height);
}

QString TurnMimeFor(const QString &path)
{
    const QString ext = LowerExtension(path);
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return QStringLiteral("image/jpeg");
    if (ext == QLatin1String(".bmp"))
        return QStringLiteral("image/bmp");
    if (ext == QLatin1String(".png"))
        return QStringLiteral("image/png");
    if (ext == QLatin1String(".tif"))
        return QStringLiteral("image/tiff");
    if (ext == QLatin1String(".gif"))
        return QStringLiteral("image/gif");
    return {};
}

QString FailureStatus(const QString &path, const QString &message)
{
    const std::string reason = ReasonIn(message.toStdString(), LocalPath(path));
    return FileNameOf(path) + QStringLiteral(": ") + QString::fromStdString(reason);
}

QString NotWrittenReport(const QStringList &failures, std::optional<int> written)
{
    constexpr int MostNamed = 12;  // files named in one message; the rest are counted
    QStringList lines{QLatin1String(NotWrittenMessage)};
    lines << failures.mid(0, MostNamed);
    if (failures.size() > MostNamed)
        lines << QString::fromUtf8(MoreNotWrittenLine).arg(failures.size() - MostNamed);
    if (written)
        lines << QString::fromUtf8(WrittenCountLine).arg(*written);
    return lines.join(QLatin1Char('\n'));
}

KeyAction KeyFor(Viewer viewer, int qtKey, bool keypad, quint32 scanCode)
{
    const bool plain = viewer == Viewer::Plain;
    switch (qtKey) {
    case Qt::Key_Right: return {ViewerKey::Forward};
    case Qt::Key_Left: return {ViewerKey::Back};
    case Qt::Key_Down: return {ViewerKey::Stop};
    case Qt::Key_Up: return {ViewerKey::Copy};
    case Qt::Key_M: return {ViewerKey::FullScreen};
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space: return {ViewerKey::Presurvey};
    case Qt::Key_E: return {ViewerKey::Exit};
    case Qt::Key_G: return plain ? KeyAction{ViewerKey::TurnRight} : KeyAction{};
    case Qt::Key_F: return plain ? KeyAction{ViewerKey::TurnLeft} : KeyAction{};
    default: break;
    }
    int digit = -1;
    if (!keypad && qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        digit = qtKey - Qt::Key_0;
    else if (!keypad && scanCode >= 10 && scanCode <= 18)  // the main row's 1..9 on X11 and evdev
        digit = int(scanCode) - 9;
    if (digit < 1)
        return {};
    // The radio choice of each digit, as an index into RadioChoices ("Man.", 1, 2, 3, 5, 10,
    // 20 s); -2 for the strip's toggle, -1 for no action.
    static constexpr int Ciphered[10] = {-1, 1, 2, 3, -1, 4, 5, 6, 0, -2};
    static constexpr int Plain[10] = {-1, 1, 2, 3, 4, 5, 6, 0, -1, -1};
    const int choice = (plain ? Plain : Ciphered)[digit];
    if (choice == -2)
        return {ViewerKey::ToggleStrip};
    if (choice < 0)
        return {};
    return {ViewerKey::Radio, choice};
}

}  // namespace veilshot
