#include "decipheredcopy.h"

#include "cipherengine.h"
#include "imaging.h"
#include "localpath.h"

namespace veilshot {

Prepared DecipherPicture(const cipher::CipherEngine &engine, const QString &veilFile, QSize box)
{
    Prepared prepared;
    try {
        const auto body = engine.DecipherFile(LocalPath(veilFile));
        if (!body)
            prepared.otherCode = true;
        else
            prepared.picture = imaging::DecodeMemory(body->bytes(), veilFile, box);
    } catch (const FileError &error) {
        prepared.picture.error = QString::fromStdString(error.what());
    }
    return prepared;
}

QString StoredExtension(const QString &veilFile)
{
    const auto header = cipher::ReadHeader(LocalPath(veilFile));
    return header ? QString::fromStdU16String(header->extension.text()) : QString();
}

bool WriteDecipheredCopy(cipher::CipherEngine &engine, const QString &veilFile, const QString &target)
{
    const auto body = engine.DecipherFile(LocalPath(veilFile));
    if (!body)
        return false;
    // The decode, as small as the format allows, only confirms that the bytes are a picture.
    const imaging::Picture picture = imaging::DecodeMemory(body->bytes(), veilFile, QSize(1, 1));
    if (!picture.ok())
        throw FileError(picture.error.toStdString());
    imaging::WriteDecoded(picture, body->bytes(), target, AtomicFile::Mode::KeepExisting);
    return true;
}

}  // namespace veilshot
