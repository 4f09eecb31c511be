#include "files/folderlisting.h"

#include "files/fileoperations.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include <dirent.h>

namespace veilshot {

PathList PathList::Under(QString start)
{
    PathList list;
    list.start_ = std::move(start);
    return list;
}

PathList::PathList(const QStringList &paths)
{
    qsizetype characters = 0;
    for (const QString &path : paths)
        characters += path.size();
    reserve(paths.size(), characters);
    for (const QString &path : paths)
        append(path);
}

void PathList::reserve(qsizetype entries, qsizetype characters)
{
    ends_.reserve(std::size_t(entries));
    text_.reserve(characters);
}

void PathList::append(QStringView rest)
{
    text_.append(rest);
    ends_.push_back(text_.size());
}

void PathList::squeeze()
{
    text_.squeeze();
    ends_.shrink_to_fit();
}

QStringView PathList::rest(qsizetype index) const
{
    if (index < 0 || index >= size())
        return {};
    const qsizetype begin = index == 0 ? 0 : ends_[std::size_t(index - 1)];
    return QStringView(text_).sliced(begin, ends_[std::size_t(index)] - begin);
}

QString PathList::at(qsizetype index) const
{
    if (index < 0 || index >= size())
        return {};
    const QStringView tail = rest(index);
    QString path;
    path.reserve(start_.size() + tail.size());
    path.append(start_).append(tail);
    return path;
}

qsizetype PathList::indexOf(QStringView path) const
{
    if (!path.startsWith(start_))
        return -1;
    const QStringView wanted = path.sliced(start_.size());
    for (qsizetype i = 0; i < size(); ++i)
        if (rest(i) == wanted)
            return i;
    return -1;
}

QStringList PathList::toList() const
{
    QStringList paths;
    paths.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        paths.append(at(i));
    return paths;
}

namespace {

// The folder's entry names as the directory gives them, "." and ".." left out. Read with
// readdir rather than QDir, which gathers a QFileInfo for every entry: at 100,000 entries that
// took over 100 MB and seconds.
PathList ReadNames(const QString &folder)
{
    PathList names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

// `names` in natural order as file managers show a folder: numbers by their value, letters
// without regard to case. The names are compared in place, with no sort key kept for each: at
// 100,000 entries the keys took more memory than the names.
PathList NaturalOrder(const PathList &names, QString start)
{
    // The "C" locale of minimal systems would compare code points; its users count as well.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<qsizetype> order(std::size_t(names.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const QStringView first = names.rest(a), second = names.rest(b);
        const int compared = collator.compare(first, second);
        return compared != 0 ? compared < 0 : first < second;  // names differing only in case keep a fixed order
    });
    PathList sorted = PathList::Under(std::move(start));
    qsizetype characters = 0;
    for (qsizetype i = 0; i < names.size(); ++i)
        characters += names.rest(i).size();
    sorted.reserve(names.size(), characters);
    for (const qsizetype i : order)
        sorted.append(names.rest(i));
    return sorted;
}

}  // namespace

QStringList ListFolder(const QString &folder)
{
    const PathList names = NaturalOrder(ReadNames(folder), QString());
    return names.toList();
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
    const QString start = JoinPath(folder, QString());
    const PathList names = NaturalOrder(ReadNames(folder), start);
    FolderList list{PathList::Under(start), 0};
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (accept(names.at(i)))
            list.paths.append(names.rest(i));
    }
    list.paths.squeeze();
    const qsizetype at = list.paths.indexOf(chosen);
    list.index = at >= 0 ? int(at) : int(list.paths.size());
    return list;
}

bool IsPhotoFile(const QString &path)
{
    return PhotoExtensions().contains(LowerExtension(path)) && FileExists(path);
}

}  // namespace veilshot
