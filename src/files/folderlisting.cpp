#include "files/folderlisting.h"

#include "files/fileoperations.h"

#include <QCollator>
#include <QDir>
#include <QLocale>

#include <algorithm>
#include <vector>

namespace veilshot {

QStringList ListFolder(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                               QDir::NoSort);
    // Natural order as file managers show it: numbers by their value, letters without regard
    // to case. One sort key a name keeps a large folder quick.
    // The "C" locale of minimal systems would compare code points; its users count as well.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    struct Keyed {
        QCollatorSortKey key;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(std::size_t(names.size()));
    for (QString &name : names)
        keyed.push_back({collator.sortKey(name), std::move(name)});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.name < b.name;  // names differing only in case keep a fixed order
    });
    names.clear();
    for (Keyed &entry : keyed)
        names.append(std::move(entry.name));
    return names;
}

QString LowerExtension(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(dot).toLower();
}

QString FolderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString JoinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

const QStringList &PhotoExtensions()
{
    static const QStringList extensions = {".jpg", ".jpeg", ".bmp", ".png", ".gif", ".tif", ".jpa", ".dib",
                                           ".rle", ".wmf", ".emf", ".ico", ".jpe", ".tiff", ".jfif",
                                           ".heic", ".heif", ".avif", ".webp", ".jxl"};
    return extensions;
}

bool WithoutEncoder(const QString &path)
{
    static const QStringList extensions = {".heic", ".heif", ".avif", ".webp", ".jxl"};
    return extensions.contains(LowerExtension(path));
}

FolderList GatherFolder(const QString &chosen, bool (*accept)(const QString &path))
{
    const QString folder = FolderOf(chosen);
    FolderList list;
    list.paths.reserve(1000);
    for (const QString &name : ListFolder(folder)) {
        const QString path = JoinPath(folder, name);
        if (!accept(path))
            continue;
        if (list.paths.size() == list.paths.capacity())
            list.paths.reserve(list.paths.size() + 1000);
        list.paths.append(path);
    }
    const qsizetype at = list.paths.indexOf(chosen);
    list.index = at >= 0 ? int(at) : int(list.paths.size());
    return list;
}

bool IsPhotoFile(const QString &path)
{
    return PhotoExtensions().contains(LowerExtension(path)) && FileExists(path);
}

}  // namespace veilshot
