#pragma once
// Listing a viewer's folder, the same way everywhere in the program: every entry but "." and
// "..", in natural, case-insensitive name order (photo2 before photo10), as file managers
// show a folder.

#include <QString>
#include <QStringList>
#include <QStringView>

#include <initializer_list>
#include <vector>

namespace veilshot {

// Paths held compactly, as a large folder needs them: what every one of them begins with
// (their folder, with its separator) once, and the rest of each one after another in one
// buffer; a path is made whole when it is asked for. About 40 bytes an entry, where a list of
// whole strings takes three times as much.
class PathList {
public:
    PathList() = default;
    // Any paths, in their order.
    PathList(const QStringList &paths);
    PathList(std::initializer_list<QString> paths) : PathList(QStringList(paths)) {}
    // An empty list of entries that all begin with `start`.
    static PathList Under(QString start);

    void reserve(qsizetype entries, qsizetype characters);
    // Appends the entry `start + rest`.
    void append(QStringView rest);
    // Lets go of the room reserved beyond what is held.
    void squeeze();

    qsizetype size() const { return qsizetype(ends_.size()); }
    bool isEmpty() const { return ends_.empty(); }
    // The whole path of entry `index`, or "" outside the list.
    QString at(qsizetype index) const;
    // What follows the common start in entry `index` (its name, in a folder's list).
    QStringView rest(qsizetype index) const;
    // The position of `path` (compared exactly, letter case counting), or -1.
    qsizetype indexOf(QStringView path) const;
    QStringList toList() const;

private:
    QString start_;
    QString text_;
    std::vector<qsizetype> ends_;  // where each entry's rest ends in text_
};

// The folder's entries (names, not paths), files and folders alike, sorted.
QStringList ListFolder(const QString &folder);

// The extension from the last "." of the last path component, dot included, lower-cased; ""
// when there is none.
QString LowerExtension(const QString &path);

// The folder of a path: everything before the last "/", but "/" itself for the root.
QString FolderOf(const QString &path);

// folder + "/" + name, without doubling the root's separator.
QString JoinPath(const QString &folder, const QString &name);

// The 15 extensions of the photos the program shows and ciphers.
const QStringList &PhotoExtensions();
// Whether the photo is of a format that is read but never written (HEIC and HEIF, AVIF, WebP,
// JPEG XL, by the extension): nothing turns or scales it, and the user is told so.
bool WithoutEncoder(const QString &path);

// Whether `path` names an existing file (not a folder) of one of those extensions.
bool IsPhotoFile(const QString &path);

// What an open gathers: the full paths of the entries whose extension is accepted, and the
// position of `chosen` among them (compared exactly, letter case counting), or one past the
// last entry when it is not there.
struct FolderList {
    PathList paths;
    int index = 0;
};
FolderList GatherFolder(const QString &chosen, bool (*accept)(const QString &path));

}  // namespace veilshot
