#pragma once
// Moving, copying and removing the viewers' files, and the name rules of the commands that
// write files. Nothing here replaces a file that exists, and nothing is lost when a step fails.

#include "files/localpath.h"

#include <QString>

#include <filesystem>

namespace veilshot {

// The file name of a path (after its last "/").
QString FileNameOf(const QString &path);
// The extension of a file name: from its last ".", dot included, letter case kept; "" if none.
QString ExtensionOf(const QString &path);
// The path with the extension of its file name replaced by `extension` (or `extension` added).
QString ReplaceExtension(const QString &path, const QString &extension);
// The path with `extension` appended unless its extension is exactly that (letter case counts).
QString EnsureExtension(const QString &path, const QString &extension);

// Whether a file (not a folder) of that path exists.
bool FileExists(const QString &path);

// A folder remembered from an earlier dialog while it still exists, else `otherwise`.
QString StillThereOr(const QString &rememberedFolder, const QString &otherwise = {});

// The sub-folder `name` of `folder`, created when missing. FileError when it cannot be.
QString MakeSubfolder(const QString &folder, const QString &name);

// Moves a file to a name that must not exist: a rename, or across file systems a copy that is
// complete and closed before the source is removed. TargetExistsError when the name appeared
// meanwhile; FileError ("Cannot move file ...") on other failures, with the source kept.
// `acrossFileSystems` forces the copying way, as a move to another disk takes it.
void MoveFileTo(const QString &from, const QString &to, bool acrossFileSystems = false);

// Copies a file byte for byte to a name that must not exist.
void CopyFileTo(const QString &from, const QString &to);

// Removes a file. FileError ("Cannot remove file ...") when it cannot be.
void RemoveFile(const QString &path);

}  // namespace veilshot
