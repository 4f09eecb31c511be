#pragma once
// The keyed ".veil" format, the one every version reads: a 14-byte header followed by the
// source's bytes, each byte XORed with bits chosen by the key table:
//   offset 0, 7 bytes  the code check (CheckConstant toggled by the key table)
//   offset 7, 1 byte   length of the stored extension, 0..6
//   offset 8, 6 bytes  the source's extension with its dot, lower-cased, Latin-1
//   offset 14          the ciphered body, as long as the source
// Key-table positions are 1-based throughout, as the format is defined with them. The key stream
// depends on the code alone, so every file under one code is XORed with the same masks, and the
// body has no check of its own: the sealed format (sealedformat.h) is the one new files get.

#include "cipher/keytable.h"
#include "files/fileio.h"
#include "files/securememory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace veilshot::cipher {

inline constexpr std::size_t BlockSize = 12288;
inline constexpr int CursorStart = 749;
inline constexpr std::size_t HeaderSize = 14;
inline constexpr std::size_t MaxExtLength = 6;
// Files are read and written in pieces of this size (255 pages, about 1 MiB), so a run holds a
// few of them in memory whatever the file's size. A whole number of blocks: ciphering then reads
// the same 85 blocks for every piece, and only the header's 14 bytes carry over to the next
// write. (Writes of exactly 1 MiB at 1 MiB offsets were measured slower and far less steady on
// Linux 6.18: the page cache then takes 1 MiB folios, whose fresh memory can cost more to fill
// than the copy.)
inline constexpr std::size_t StreamChunk = 85 * BlockSize;

using CheckValue = std::array<std::uint8_t, 7>;

// The fixed value that every code check is made from.
CheckValue CheckConstant();

// The header's extension fields.
struct Extension {
    std::uint8_t ExtLength = 0;
    std::array<std::uint8_t, MaxExtLength> ExtBytes{};

    // From a source file's extension with its dot (".JPG"): lower-cased, as Latin-1; a
    // character above U+00FF becomes '?'. An extension longer than 6 characters does not fit,
    // and one that could not end a file name (see below) is not kept: either is stored as
    // length 0, so its copy gets no extension back rather than a wrong one.
    static Extension fromText(std::u16string_view extensionWithDot);
    // From a file name or path: the extension of its last component ("" when it has none).
    static Extension fromFileName(const std::filesystem::path &file);
    // The stored extension as text (".jpeg"), Latin-1 decoded.
    std::u16string text() const;
    // The same as a UTF-8 string, for file names.
    std::string utf8() const;
    // Whether it can end a file name: empty, or a dot and then characters a name may hold
    // (no "/", NUL or other control character), and neither "." nor "..". A header whose
    // extension cannot is damaged: it must never choose where a copy is written.
    bool safeInFileName() const;
};

// Why a file is not deciphered.
enum class Refusal {
    None,
    OtherCode,    // a ".veil" file ciphered under another code
    TooShort,     // shorter than the 14-byte header: no ".veil" file
    NotCiphered,  // its first 7 bytes are a check that no code makes: no ".veil" file
};

inline void SetRefusal(Refusal *refusal, Refusal why)
{
    if (refusal)
        *refusal = why;
}

// Whether a stored check can have been made under any code at all. Every code toggles an odd
// number of bits of each of its 7 bytes (seven single-bit toggles, see toggleCheck), so a
// file that is not a ".veil" file passes by chance once in 128.
bool CouldBeCheck(const CheckValue &stored);

// The header of a ".veil" file, read without the key table.
struct Header {
    CheckValue check{};
    Extension extension;
};
// std::nullopt when the file is no ".veil" file; then `refusal`, if given, says why (TooShort
// or NotCiphered). FileError when it cannot be read, or when its stored extension could not
// end a file name (the file is damaged).
std::optional<Header> ReadHeader(const std::filesystem::path &veilFile, Refusal *refusal = nullptr);

// The five-pass transform of one block from key-table position c (1..KeyTableHalf), in two
// forms that must agree byte for byte: the reference form inverts one bit per table digit as
// the format defines it; the fast form XORs five slices of a table of masks 1 << digit. (The
// engine's fast kernel goes one step further for full blocks, see CipherEngine::TransformBlock.)
void TransformBlockReference(const std::uint8_t *keyTable, std::uint8_t *buffer, std::size_t n, int c);
// The fast form also works out of place (source and target the same or not overlapping).
void TransformBlockMasked(const std::uint8_t *maskTable, const std::uint8_t *source, std::uint8_t *target,
                          std::size_t n, int c);

}  // namespace veilshot::cipher
