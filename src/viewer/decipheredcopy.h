#pragma once
// Deciphered copies of ciphered photos, as every window that makes one writes them.

#include <QString>

namespace veilshot {
namespace cipher { class CipherEngine; }

// The extension the photo had before it was ciphered (".jpeg"), from the file's header; ""
// for a file shorter than a header. FileError when the file cannot be read or is damaged.
QString StoredExtension(const QString &veilFile);

// Deciphers `veilFile` into memory with `engine` and writes to `target` exactly the bytes that
// were ciphered, once a decode has confirmed that they are a picture: a deciphered photo is
// often the only copy left, and encoding it again would lose quality and metadata for good.
// False, with nothing written, for a file made under another code. FileError when it cannot be
// read, is no picture or cannot be written; TargetExistsError when `target` appeared meanwhile.
bool WriteDecipheredCopy(cipher::CipherEngine &engine, const QString &veilFile, const QString &target);

}  // namespace veilshot
