#include "tools/toolrules.h"

#include "files/fileoperations.h"
#include "files/folderlisting.h"

#include <QSet>

#include <cmath>

namespace veilshot::tools {

QString OnePhotoTarget(const QString &chosen, const QString &source, const QString &extension)
{
    return ReplaceExtension(EnsureExtension(chosen, ExtensionOf(source)), extension);
}

QString CompressFolder(const QString &chosen)
{
    return ReplaceExtension(chosen, QString());
}

const QList<ToolFormat> &EncodableFormats()
{
    static const QList<ToolFormat> formats = {
        {QStringLiteral("bmp"), QStringLiteral("image/bmp")},   {QStringLiteral("jpg"), QStringLiteral("image/jpeg")},
        {QStringLiteral("gif"), QStringLiteral("image/gif")},   {QStringLiteral("tif"), QStringLiteral("image/tiff")},
        {QStringLiteral("png"), QStringLiteral("image/png")},
    };
    return formats;
}

const QList<FileKind> &FileKinds()
{
    static const QList<FileKind> kinds = {
        {QStringLiteral("bmp"), {QStringLiteral(".bmp"), QStringLiteral(".dib"), QStringLiteral(".rle")}},
        {QStringLiteral("jpg"),
         {QStringLiteral(".jpg"), QStringLiteral(".jpeg"), QStringLiteral(".jpe"), QStringLiteral(".jfif")}},
        {QStringLiteral("gif"), {QStringLiteral(".gif")}},
        {QStringLiteral("tif"), {QStringLiteral(".tif"), QStringLiteral(".tiff")}},
        {QStringLiteral("png"), {QStringLiteral(".png")}},
        {QStringLiteral("emf"), {QStringLiteral(".emf")}},
        {QStringLiteral("wmf"), {QStringLiteral(".wmf")}},
        {QStringLiteral("ico"), {QStringLiteral(".ico")}},
        {QStringLiteral("heic"), {QStringLiteral(".heic"), QStringLiteral(".heif")}},
        {QStringLiteral("avif"), {QStringLiteral(".avif")}},
        {QStringLiteral("webp"), {QStringLiteral(".webp")}},
        {QStringLiteral("jxl"), {QStringLiteral(".jxl")}},
    };
    return kinds;
}

bool FileKind::contains(const QString &path) const
{
    return members.contains(LowerExtension(path));
}

std::optional<ToolFormat> ScaleFormatOf(const QString &path)
{
    for (const FileKind &kind : FileKinds()) {
        if (!kind.contains(path))
            continue;
        for (const ToolFormat &format : EncodableFormats()) {
            if (format.extension == kind.extension)
                return format;
        }
        return ToolFormat{kind.extension, QString()};  // a metafile or an icon: read, never written
    }
    return std::nullopt;
}

qint64 RoundHalfEven(double value)
{
    return qint64(std::nearbyint(value));  // the default rounding mode sends halves to even
}

namespace {

// A typed number of at most 7 digits; the edits take nothing else.
std::optional<qint64> Whole(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

QString Digits(const QString &text)
{
    QString digits;
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    }
    return digits;
}

}  // namespace

QString HeightForWidth(const QString &width, double ratio)
{
    const std::optional<qint64> value = Whole(width);
    if (!value || ratio <= 0)
        return {};
    return QString::number(RoundHalfEven(double(*value) / ratio));
}

QString WidthForHeight(const QString &height, double ratio)
{
    const std::optional<qint64> value = Whole(height);
    if (!value || ratio <= 0)
        return {};
    return QString::number(RoundHalfEven(double(*value) * ratio));
}

Factor ReadFactor(const QString &whole, const QString &fraction)
{
    QString w = Digits(whole);
    const QString d = Digits(fraction);
    if (w.isEmpty() && d.isEmpty())
        return {};
    if (w.isEmpty())
        w = QStringLiteral("0");
    // Read in the C locale: the decimal point is ours, not the user's.
    const double value = (d.isEmpty() ? w : w + QLatin1Char('.') + d).toDouble();
    if (!(value > 0))
        return {};
    return {Factor::Kind::Number, value};
}

Scaled DivideBy(QSize size, double factor)
{
    return {RoundHalfEven(size.width() / factor), RoundHalfEven(size.height() / factor)};
}

SizeCheck CheckSize(qint64 width, qint64 height, qint64 limit)
{
    if (width < 10 || height < 10)
        return SizeCheck::Small;
    if (width > limit || height > limit)
        return SizeCheck::Big;
    return SizeCheck::Fine;
}

Plan PlanRun(const QStringList &list, const std::function<QString(const QString &)> &targetOf)
{
    Plan plan;
    QSet<QString> taken;
    for (int i = 0; i < list.size(); ++i) {
        const QString &source = list[i];
        if (!FileExists(source))
            continue;
        const QString target = targetOf(source);
        if (target.isEmpty())
            continue;
        if (taken.contains(target)) {
            plan.clashes.append({i, source, target});
            continue;
        }
        taken.insert(target);
        plan.jobs.append({i, source, target});
    }
    return plan;
}

}  // namespace veilshot::tools
