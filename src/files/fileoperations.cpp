#include "files/fileoperations.h"

#include "files/fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace veilshot {

namespace {

void CopyBytes(const QString &from, const QString &to)
{
    InputFile in(LocalPath(from));
    AtomicFile out(LocalPath(to));
    std::vector<char> buffer(1 << 20);
    for (std::size_t got; (got = in.read(buffer.data(), buffer.size())) > 0;)
        out.write(buffer.data(), got);
    out.commit(AtomicFile::Mode::KeepExisting);
}

}  // namespace

QString FileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtensionOf(const QString &path)
{
    const QString name = FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString ReplaceExtension(const QString &path, const QString &extension)
{
    return path.left(path.size() - ExtensionOf(path).size()) + extension;
}

QString EnsureExtension(const QString &path, const QString &extension)
{
    return ExtensionOf(path) == extension ? path : path + extension;
}

bool FileExists(const QString &path)
{
    return QFileInfo(path).isFile();
}

QString StillThereOr(const QString &rememberedFolder, const QString &otherwise)
{
    return !rememberedFolder.isEmpty() && QFileInfo(rememberedFolder).isDir() ? rememberedFolder : otherwise;
}

QString MakeSubfolder(const QString &folder, const QString &name)
{
    const QString sub = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    if (!QFileInfo(sub).isDir()) {
        std::error_code error;
        std::filesystem::create_directory(LocalPath(sub), error);
        if (error || !QFileInfo(sub).isDir())
            throw FileError(FileMessage("Cannot create folder", LocalPath(sub),
                                        error ? error.message() : std::string("A file of that name is in the way.")));
    }
    return sub;
}

void MoveFileTo(const QString &from, const QString &to, bool acrossFileSystems)
{
    const auto source = LocalPath(from);
    const auto target = LocalPath(to);
    int err = EXDEV;
    if (!acrossFileSystems && RenameNoReplace(source, target, err)) {
        SyncFolder(target.parent_path().empty() ? "." : target.parent_path(), target);
        SyncFolder(source.parent_path().empty() ? "." : source.parent_path(), target);
        return;
    }
    if (err == EEXIST)
        throw TargetExistsError(FileMessage("Cannot move file", source, err));
    if (err != EXDEV)
        throw FileError(FileMessage("Cannot move file", source, err));
    // Another file system: the copy is finished and on the disk before the source goes.
    CopyBytes(from, to);
    if (::unlink(source.c_str()) != 0)
        throw FileError(FileMessage("Cannot move file", source,
                                    std::string(std::strerror(errno)) + ". A copy was made at \"" + target.string() + "\"."));
    SyncFolder(source.parent_path().empty() ? "." : source.parent_path(), target);
}

void CopyFileTo(const QString &from, const QString &to)
{
    CopyBytes(from, to);
}

void RemoveFile(const QString &path)
{
    if (::unlink(LocalPath(path).c_str()) != 0)
        throw FileError(FileMessage("Cannot remove file", LocalPath(path), errno));
}

}  // namespace veilshot
