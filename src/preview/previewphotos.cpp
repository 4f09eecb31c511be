#include "preview/previewphotos.h"

#include "cipher/cipherengine.h"
#include "files/fileoperations.h"
#include "files/localpath.h"
#include "imaging/imaging.h"
#include "viewer/decipheredcopy.h"

namespace veilshot {

QString PreviewPhotos::copyExtension(const QString &file) const
{
    return ExtensionOf(file);
}

QString PreviewPhotos::copyProposal(const QString &file) const
{
    return file;
}

QString PreviewPhotos::copyRefusal(const QString &) const
{
    return {};
}

ThumbnailSource PlainPhotos::thumbnails(QSize box) const
{
    return [box](const QString &path) { return Prepared{imaging::OpenFile(path, box)}; };
}

void PlainPhotos::writeCopy(const QString &file, const QString &target) const
{
    CopyFileTo(file, target);
}

ThumbnailSource CipheredPhotos::thumbnails(QSize box) const
{
    std::shared_ptr<cipher::CipherEngine> copy = engine_.copy();
    return [copy, box](const QString &path) { return CipheredThumbnail(*copy, path, box); };
}

QString CipheredPhotos::copyExtension(const QString &file) const
{
    return StoredExtension(engine_, file);
}

QString CipheredPhotos::copyProposal(const QString &file) const
{
    return ReplaceExtension(file, StoredExtension(engine_, file));
}

QString CipheredPhotos::copyRefusal(const QString &file) const
{
    return CopyRefusal(engine_, file);
}

void CipheredPhotos::writeCopy(const QString &file, const QString &target) const
{
    const std::unique_ptr<cipher::CipherEngine> copy = engine_.copy();
    WriteDecipheredCopy(*copy, file, target);  // refused since it was checked: nothing written
}

}  // namespace veilshot
