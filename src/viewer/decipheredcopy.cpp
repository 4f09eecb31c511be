#include "viewer/decipheredcopy.h"

#include "cipher/cipherengine.h"
#include "files/localpath.h"
#include "imaging/imaging.h"
#include "viewer/texts.h"

namespace veilshot {

const char *NotCipheredReason(cipher::Refusal refusal)
{
    return refusal == cipher::Refusal::TooShort ? TooShortReason : NotCipheredPhotoReason;
}

const char *RefusalStatusText(cipher::Refusal refusal)
{
    switch (refusal) {
    case cipher::Refusal::OtherCode: return OtherCodeText;
    case cipher::Refusal::TooShort: return TooShortText;
    case cipher::Refusal::NotCiphered: return NotCipheredText;
    default: return "";
    }
}

Prepared DecipherPicture(const cipher::CipherEngine &engine, const QString &veilFile, QSize box)
{
    Prepared prepared;
    try {
        const auto body = engine.decipherFile(LocalPath(veilFile), &prepared.refusal);
        if (prepared.refusal == cipher::Refusal::OtherCode)
            prepared.otherCode = true;
        else if (prepared.refusal != cipher::Refusal::None)
            prepared.picture.error = QString::fromStdString(
                FileMessage("Cannot open file", LocalPath(veilFile), NotCipheredReason(prepared.refusal)));
        else
            prepared.picture = imaging::DecodeMemory(body->bytes(), veilFile, box);
    } catch (const FileError &error) {
        prepared.picture.error = QString::fromStdString(error.what());
    }
    return prepared;
}

Prepared CipheredThumbnail(const cipher::CipherEngine &engine, const QString &veilFile, QSize box)
{
    try {
        if (const auto preview = engine.decipherPreview(LocalPath(veilFile))) {
            if (auto picture = imaging::PreviewPicture(preview->bytes(), veilFile, box))
                return Prepared{std::move(*picture)};
        }
    } catch (const FileError &error) {
        Prepared damaged;
        damaged.picture.error = QString::fromStdString(error.what());
        return damaged;
    }
    return DecipherPicture(engine, veilFile, box);
}

QString StoredExtension(const cipher::CipherEngine &engine, const QString &veilFile)
{
    const cipher::Examined examined = engine.examine(LocalPath(veilFile));
    return examined.refusal == cipher::Refusal::None ? QString::fromStdU16String(examined.extension.text())
                                                     : QString();
}

QString CopyRefusal(const cipher::CipherEngine &engine, const QString &veilFile)
{
    // The decode, as small as the format allows, only confirms that the bytes are a picture.
    const Prepared prepared = DecipherPicture(engine, veilFile, QSize(1, 1));
    if (prepared.refusal != cipher::Refusal::None)
        return QString::fromLatin1(RefusalStatusText(prepared.refusal)).trimmed();
    return prepared.picture.ok() ? QString() : prepared.picture.error;
}

bool WriteDecipheredCopy(cipher::CipherEngine &engine, const QString &veilFile, const QString &target)
{
    const auto body = engine.decipherFile(LocalPath(veilFile));
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
