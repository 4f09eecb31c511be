#include "folderlisting.h"

#include <QDir>

#include <algorithm>

namespace veilshot {

namespace {

// Natural order: runs of digits compare by their value, the rest without regard to case.
int NaturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i, endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Compare the values without leading zeros: longer means larger, then digit by digit.
            QStringView digitsA = QStringView(a).mid(i, endA - i), digitsB = QStringView(b).mid(j, endB - j);
            while (digitsA.size() > 1 && digitsA.front() == u'0')
                digitsA = digitsA.mid(1);
            while (digitsB.size() > 1 && digitsB.front() == u'0')
                digitsB = digitsB.mid(1);
            if (digitsA.size() != digitsB.size())
                return digitsA.size() < digitsB.size() ? -1 : 1;
            if (const int order = digitsA.compare(digitsB))
                return order;
            i = endA;
            j = endB;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

}  // namespace

QStringList ListFolder(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                               QDir::NoSort);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = NaturalCompare(a, b);
        return order != 0 ? order < 0 : a < b;  // names differing only in case keep a fixed order
    });
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
                                           ".rle", ".wmf", ".emf", ".ico", ".jpe", ".tiff", ".jfif"};
    return extensions;
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

}  // namespace veilshot
