#pragma once
// The rules of the image tools that need no window: output names, the formats each tool writes,
// the scale arithmetic and its limits, and the plan of a run over a folder.

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace veilshot::tools {

// --- Names -----------------------------------------------------------------------------------

// The file a one-photo command writes: the name chosen in the dialog, with the source's own
// extension appended unless the chosen name ends in exactly that one (letter case counts), then
// its last extension replaced by `extension` (dot included). For a.JPG to ".png": a.JPG gives
// a.png, b gives b.png, b.gif gives b.gif.png.
QString OnePhotoTarget(const QString &chosen, const QString &source, const QString &extension);

// The folder a compress-all run makes: the chosen name without its extension (pics.old: pics).
QString CompressFolder(const QString &chosen);

// --- Formats ---------------------------------------------------------------------------------

// A format a tool writes or sorts by: its one extension (no dot) and its encoder's MIME type,
// empty where there is no encoder (EMF, WMF, ICO).
struct ToolFormat {
    QString extension;
    QString mime;
    bool canEncode() const { return !mime.isEmpty(); }
};

// The transform targets and the scale tool's format buttons, in button order: BMP, JPEG, GIF,
// TIFF, PNG.
const QList<ToolFormat> &EncodableFormats();

// The format a photo is scaled in by its extension (any letter case): none for extensions
// outside the table.
std::optional<ToolFormat> ScaleFormatOf(const QString &path);

// The formats copied or moved together, in button order (BMP, JPEG, GIF, TIFF, PNG, EMF, WMF,
// ICO), each with the extensions that belong to it.
struct FileKind {
    QString extension;  // the one extension "One expansion" gives, no dot
    QStringList members;  // ".jpg", ".jpeg", ...
    bool contains(const QString &path) const;
};
const QList<FileKind> &FileKinds();

// --- Scale -----------------------------------------------------------------------------------

// To the nearest whole number, a half to the even neighbour (2.5 gives 2, 3.5 gives 4).
qint64 RoundHalfEven(double value);

// What the width and height edits answer when the other is typed, keeping `ratio` (width over
// height); empty stays empty.
QString HeightForWidth(const QString &width, double ratio);
QString WidthForHeight(const QString &height, double ratio);

// A scale factor typed as its whole part and its fractional digits. The digits alone count; the
// factor is read the same way whatever the locale's decimal separator.
struct Factor {
    enum class Kind { Number, Zero } kind = Kind::Zero;  // Zero: nothing typed, or a factor of 0
    double value = 0.0;
};
Factor ReadFactor(const QString &whole, const QString &fraction);

// `size` divided by `factor`, each side rounded.
struct Scaled {
    qint64 width = 0;
    qint64 height = 0;
};
Scaled DivideBy(QSize size, double factor);

// Whether a size can be written: sides of 10 pixels at least and `limit` at most.
enum class SizeCheck { Fine, Small, Big };
SizeCheck CheckSize(qint64 width, qint64 height, qint64 limit);
// The limits: "To execute" takes 99999, "Result" and each file of a run 100000.
inline constexpr qint64 ExecuteLimit = 99999;
inline constexpr qint64 PreviewLimit = 100000;

// --- Runs over a folder ----------------------------------------------------------------------

// One file of a run: its position in the viewer's list, its path, and what it becomes.
struct Job {
    int index = 0;
    QString source;
    QString target;
};

// The plan of a run, decided before any work starts so that its result does not depend on
// timing: one job for each listed file that exists and that `targetOf` gives a name (empty:
// not this run's), in list order. A later file whose target an earlier one already takes is
// not planned; it is named in `clashes`.
struct Plan {
    QList<Job> jobs;
    QList<Job> clashes;  // the files left out, with the target they would have taken
};
Plan PlanRun(const QStringList &list, const std::function<QString(const QString &)> &targetOf);

}  // namespace veilshot::tools
