#pragma once
// Ciphered photos deciphered, in memory for showing and into copies, the same way in every
// window.

#include "viewer/decodeahead.h"

#include <QSize>
#include <QString>

namespace veilshot {

// Deciphers a ciphered photo into memory and decodes it for `box`, on whichever thread asks
// (the windows' own, or the workers that prepare the next photo and the thumbnails). Several
// threads may use one engine at once. Another code and failures are results, not exceptions.
Prepared DecipherPicture(const cipher::CipherEngine &engine, const QString &veilFile, QSize box);

// The thumbnail of a ciphered photo for `box`, as DecipherPicture gives it: drawn from the
// preview a sealed file holds, without deciphering the photo, where that preview is large enough
// for the box; otherwise from the photo. A file whose preview is damaged is damaged.
Prepared CipheredThumbnail(const cipher::CipherEngine &engine, const QString &veilFile, QSize box);

// What the status label says of a refused file (OtherCodeText and its siblings).
const char *RefusalStatusText(cipher::Refusal refusal);
// Why a file the cipher engine refused as TooShort or NotCiphered cannot be shown, as the end
// of a "Cannot open file" message.
const char *NotCipheredReason(cipher::Refusal refusal);

// The extension the photo had before it was ciphered (".jpeg"), stored in the file; "" for a
// file that is no ciphered photo or that the code does not open. FileError when the file
// cannot be read or is damaged.
QString StoredExtension(const cipher::CipherEngine &engine, const QString &veilFile);

// Why no deciphered copy of `veilFile` can be made, in the words the user is told; "" when one
// can. A file of another code or no ciphered photo is said as the status line says it; one
// that cannot be shown (damaged, unreadable, no picture inside) by why it cannot. The whole
// file is deciphered to tell, so that nothing is asked of the user for a copy that would fail.
QString CopyRefusal(const cipher::CipherEngine &engine, const QString &veilFile);

// Deciphers `veilFile` into memory with `engine` and writes to `target` exactly the bytes that
// were ciphered, once a decode has confirmed that they are a picture: a deciphered photo is
// often the only copy left, and encoding it again would lose quality and metadata for good.
// False, with nothing written, for a file made under another code. FileError when it cannot be
// read, is no picture or cannot be written; TargetExistsError when `target` appeared meanwhile.
bool WriteDecipheredCopy(cipher::CipherEngine &engine, const QString &veilFile, const QString &target);

}  // namespace veilshot
