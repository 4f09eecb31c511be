#pragma once
// Listing a viewer's folder, the same way everywhere in the program: every entry but "." and
// "..", in natural, case-insensitive name order (photo2 before photo10), as file managers
// show a folder.

#include <QString>
#include <QStringList>

namespace veilshot {

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
    QStringList paths;
    int index = 0;
};
FolderList GatherFolder(const QString &chosen, bool (*accept)(const QString &path));

}  // namespace veilshot
