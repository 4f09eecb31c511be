#pragma once
// The cipher engine: the key table built from the user's code, the ".veil" file format and the
// block transform that ciphers and deciphers it. Standard library and POSIX only; no windows.
//
// A ".veil" file is a 14-byte header followed by the source's bytes, each byte XORed with bits
// chosen by the key table:
//   offset 0, 7 bytes  the code check (CheckConstant toggled by the key table)
//   offset 7, 1 byte   length of the stored extension, 0..6
//   offset 8, 6 bytes  the source's extension with its dot, lower-cased, Latin-1
//   offset 14          the ciphered body, as long as the source
// Key-table positions are 1-based throughout, as the format is defined with them.

#include "fileio.h"

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

inline constexpr int KeyTableHalf = 122880;            // distinct positions 1..122880
inline constexpr int KeyTableSize = 2 * KeyTableHalf;  // the second half repeats the first
inline constexpr std::size_t BlockSize = 12288;
inline constexpr int CursorStart = 749;
inline constexpr std::size_t HeaderSize = 14;
inline constexpr std::size_t MaxExtLength = 6;
inline constexpr std::size_t CodeReadLimit = 13000;  // characters of the code that are read
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

// The 113-entry shuffle applied to each 113-character window of the code (1-based positions).
extern const std::array<std::uint8_t, 113> CodeShuffle;

// The header's extension fields.
struct Extension {
    std::uint8_t ExtLength = 0;
    std::array<std::uint8_t, MaxExtLength> ExtBytes{};

    // From a source file's extension with its dot (".JPG"): lower-cased, as Latin-1; a
    // character above U+00FF becomes '?'. An extension longer than 6 characters does not fit,
    // and one that could not end a file name (see below) is not kept: either is stored as
    // length 0, so its copy gets no extension back rather than a wrong one.
    static Extension FromText(std::u16string_view extensionWithDot);
    // From a file name or path: the extension of its last component ("" when it has none).
    static Extension FromFileName(const std::filesystem::path &file);
    // The stored extension as text (".jpeg"), Latin-1 decoded.
    std::u16string text() const;
    // The same as a UTF-8 string, for file names.
    std::string utf8() const;
    // Whether it can end a file name: empty, or a dot and then characters a name may hold
    // (no "/", NUL or other control character), and neither "." nor "..". A header whose
    // extension cannot is damaged: it must never choose where a copy is written.
    bool SafeInFileName() const;
};

// Why a file is not deciphered.
enum class Refusal {
    None,
    OtherCode,    // a ".veil" file ciphered under another code
    TooShort,     // shorter than the 14-byte header: no ".veil" file
    NotCiphered,  // its first 7 bytes are a check that no code makes: no ".veil" file
};

// Whether a stored check can have been made under any code at all. Every code toggles an odd
// number of bits of each of its 7 bytes (seven single-bit toggles, see ToggleCheck), so a
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

// A deciphered body: memory that is overwritten before it is released.
class SecureBytes {
public:
    SecureBytes() = default;
    explicit SecureBytes(std::size_t size);  // uninitialised
    ~SecureBytes();
    SecureBytes(SecureBytes &&other) noexcept;
    SecureBytes &operator=(SecureBytes &&other) noexcept;

    std::uint8_t *data() { return data_.get(); }
    const std::uint8_t *data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

// The five-pass transform of one block from key-table position c (1..KeyTableHalf), in two
// forms that must agree byte for byte: the reference form inverts one bit per table digit as
// the format defines it; the fast form XORs five slices of a table of masks 1 << digit. (The
// engine's fast kernel goes one step further for full blocks, see CipherEngine::TransformBlock.)
void TransformBlockReference(const std::uint8_t *keyTable, std::uint8_t *buffer, std::size_t n, int c);
// The fast form also works out of place (source and target the same or not overlapping).
void TransformBlockMasked(const std::uint8_t *maskTable, const std::uint8_t *source, std::uint8_t *target,
                          std::size_t n, int c);

class CipherEngine {
public:
    enum class Kernel { Reference, Fast };
    enum class BuildResult { Built, NoCode };

    explicit CipherEngine(Kernel kernel = Kernel::Fast);
    ~CipherEngine();  // wipes the tables
    CipherEngine(const CipherEngine &) = delete;
    CipherEngine &operator=(const CipherEngine &) = delete;

    // An engine of its own with this one's key table and code check, for a run that must keep
    // working under the code it started with whatever code is entered meanwhile.
    std::unique_ptr<CipherEngine> Copy() const;

    // Builds the key table and the code check from the code text. NoCode when the text holds
    // nothing but blanks and line breaks, or its digits cannot give a round count; then nothing
    // changes.
    BuildResult BuildKeyTable(std::u16string_view code);

    bool CodeEntered() const { return codeEntered_; }
    const CheckValue &CodeCheck() const { return codeCheck_; }
    std::uint8_t KeyTable(int position) const { return table_[position - 1]; }  // 1..KeyTableSize

    // Toggles the value's bits with key-table positions 737..785. Applied twice, it restores.
    void ToggleCheck(CheckValue &value) const;

    // Transforms n (0..BlockSize) bytes in place from key-table position c (1..KeyTableHalf).
    // The fast kernel XORs a full block with one precomputed key stream, a shorter one with
    // five slices of the mask table.
    void TransformBlock(std::uint8_t *buffer, std::size_t n, int c) const;
    // The same from `source` into `target` (the same or not overlapping).
    void TransformBlock(const std::uint8_t *source, std::uint8_t *target, std::size_t n, int c) const;

    // The cursor's move before a block. `tailLength` is given for the last block of a body.
    int StepCursor(int c, std::optional<std::size_t> tailLength) const;

    // The extension written into the next ciphered file's header.
    Extension extension;

    // Ciphers `source` into `destination` through a temporary file in the destination's folder,
    // so a failed run leaves neither a partial file nor damage to a file it was to replace.
    // FileError on file errors (also when the source shrinks or grows meanwhile);
    // TargetExistsError when `mode` keeps an existing destination. Memory use does not grow
    // with the file.
    void Cipfoto(const std::filesystem::path &source, const std::filesystem::path &destination,
                 AtomicFile::Mode mode = AtomicFile::Mode::KeepExisting);

    // Tests the file's code check and deciphers its body into memory. std::nullopt: the file
    // was ciphered under another code (or is shorter than a header). FileError when it cannot
    // be read or its body would not fit in memory. Several threads may decipher at once with
    // one engine, as long as nobody builds a new key table meanwhile.
    // `refusal`, if given, says why a file was refused (or None).
    std::optional<SecureBytes> DecipherFile(const std::filesystem::path &veilFile, Refusal *refusal = nullptr) const;

    // Tests the file's code check and deciphers its body into `destination`, written as by
    // Cipfoto, with the same errors. False, with nothing written: the file was ciphered under
    // another code (or is shorter than a header).
    [[nodiscard]] bool DecipherToFile(const std::filesystem::path &veilFile, const std::filesystem::path &destination,
                                      AtomicFile::Mode mode = AtomicFile::Mode::KeepExisting,
                                      Refusal *refusal = nullptr);

    // True when the header's check was made under the current key table.
    bool Matches(const CheckValue &storedCheck) const;
    // None when the check was made under the current key table, else why the file is refused.
    Refusal Judge(const CheckValue &storedCheck) const;

private:
    // Transforms consecutive body bytes. `remaining` counts the body's bytes not yet
    // transformed, these included; `length` is whole blocks unless it ends the body.
    // `cursor` is the run's CipherCursor: each file has its own, so that files can be
    // deciphered on several threads at once with one engine.
    void TransformRun(const std::uint8_t *source, std::uint8_t *target, std::size_t length, std::uint64_t &remaining,
                      int &cursor) const;

    Kernel kernel_;
    std::unique_ptr<std::uint8_t[]> tables_;  // KeyTable, its masks, the key stream; locked in memory
    std::uint8_t *table_ = nullptr;
    std::uint8_t *masks_ = nullptr;
    // keyStream_[j] = masks_[j] ^ masks_[j + BlockSize] ^ ... ^ masks_[j + 4 * BlockSize]: a full
    // block at position c is XORed with keyStream_[c - 1 ..].
    std::uint8_t *keyStream_ = nullptr;
    bool locked_ = false;
    CheckValue codeCheck_{};
    bool codeEntered_ = false;
};

}  // namespace veilshot::cipher
