#pragma once
// The sealed ".veil" format: a key stretched from the code with Argon2id and a random salt, and the
// photo in authenticated chunks (libsodium's secretstream, XChaCha20-Poly1305). Unlike the keyed
// format, no two files share a key stream, a guess at the code costs a full Argon2id run, and any
// change to a file (a flipped bit, a cut, chunks swapped or repeated) is found before its bytes
// are used.
//
//   offset 0, 8 bytes   magic 89 'V' 'E' 'I' 'L' 'S' 'L' 1A (byte 7 is above 6, so no file of
//                       the keyed format, whose byte 7 is its extension's length, looks sealed)
//   offset 8, 1 byte    version: 1, or 2 when the file holds a preview
//   offset 9, 1 byte    Argon2id passes
//   offset 10, 4 bytes  Argon2id memory in KiB, little-endian
//   offset 14, 16 bytes salt
//   offset 30, 24 bytes secretstream header
//   offset 54           the first chunk: the stored extension (its length, then 6 bytes) and, in
//                       version 2, the preview's length (4 bytes, little-endian, 1..MaxPreview),
//                       with the 54 bytes above as additional data;
//                       version 2 only: the preview in one chunk of that length;
//                       then the photo in chunks of ChunkSize bytes, the last one shorter (possibly
//                       empty) and tagged final.
// Every chunk carries 17 bytes of tag on top of its content. The preview is a small picture of
// the photo that a grid of thumbnails opens without deciphering the photo itself; to this format
// it is bytes like the photo's, sealed under the same key in the same stream. A file without one
// is written in version 1, which every reader of the format opens.

#include "files/fileio.h"
#include "files/securememory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string_view>

namespace veilshot::cipher::sealed {

inline constexpr std::array<std::uint8_t, 8> Magic = {0x89, 'V', 'E', 'I', 'L', 'S', 'L', 0x1A};
inline constexpr std::uint8_t Version = 1;
inline constexpr std::uint8_t VersionWithPreview = 2;
inline constexpr std::size_t SaltSize = 16;
inline constexpr std::size_t StreamHeaderSize = 24;
inline constexpr std::size_t HeaderSize = 14 + SaltSize + StreamHeaderSize;  // 54
inline constexpr std::size_t TagSize = 17;
inline constexpr std::size_t InfoSize = 7;  // the stored extension: length and 6 bytes
inline constexpr std::size_t BodyStart = HeaderSize + InfoSize + TagSize;  // 78, in version 1
inline constexpr std::size_t PreviewInfoSize = InfoSize + 4;  // version 2: the preview's length too
inline constexpr std::size_t MaxPreview = 1024 * 1024;
inline constexpr std::size_t ChunkSize = 64 * 1024;
inline constexpr std::size_t KeySize = 32;

using Salt = std::array<std::uint8_t, SaltSize>;

// The cost of stretching the code: what new files are made with.
struct Cost {
    std::uint8_t passes = 3;
    std::uint32_t memoryKiB = 64 * 1024;
    bool operator<(const Cost &other) const
    {
        return passes != other.passes ? passes < other.passes : memoryKiB < other.memoryKiB;
    }
    bool operator==(const Cost &) const = default;
};
#ifdef VEILSHOT_FUZZ_STRETCH
// The fuzzing build stretches with the least Argon2id allows, so that its targets spend their
// time in the chunks behind the key; no other build writes or accepts this cost.
inline constexpr Cost DefaultCost{1, 8};
#else
inline constexpr Cost DefaultCost{};
#endif
// Whether a header's cost is the one this program writes. The cost is read from the clear
// header before anything in the file is checked: any other is damage, refused before a byte of
// memory is taken for it, or five forged bytes would make every reader take a gigabyte and
// seconds of work.
bool Acceptable(const Cost &cost);

// Whether the first bytes of a file (at least 8) are the sealed format's magic.
bool IsSealed(std::span<const std::uint8_t> firstBytes);

// The clear part of a sealed header.
struct ClearHeader {
    std::uint8_t version = Version;
    Cost cost;
    Salt salt{};
    std::array<std::uint8_t, StreamHeaderSize> stream{};
};
std::array<std::uint8_t, HeaderSize> Encode(const ClearHeader &header);
ClearHeader Decode(std::span<const std::uint8_t, HeaderSize> bytes);

// The size of a sealed file holding `length` bytes of photo and a preview of `previewLength`
// bytes (0: none).
std::uint64_t SealedSize(std::uint64_t length, std::size_t previewLength = 0);
// The photo's length in a sealed file of `fileSize` bytes whose photo starts at `bodyStart`;
// false when no sealed file has that size (it was cut or lengthened).
bool BodyLength(std::uint64_t fileSize, std::uint64_t &length, std::uint64_t bodyStart = BodyStart);

// A key in memory that is locked out of swap where the system allows it and wiped when freed.
class LockedBytes {
public:
    explicit LockedBytes(std::size_t size);
    ~LockedBytes();
    LockedBytes(const LockedBytes &) = delete;
    LockedBytes &operator=(const LockedBytes &) = delete;
    std::uint8_t *data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::uint8_t *data_;
    std::size_t size_;
};

// The code entered once, and the keys stretched from it, one per salt met, kept for as long as
// the code stays entered. New files all take one salt, chosen when the code was entered, so a
// folder ciphered after one entry costs one stretch to open. Safe to use from several threads;
// two threads that need the same key wait for one stretch.
class Keys {
public:
    // `code` is the code as the key table counts it (blanks and line breaks left out).
    explicit Keys(std::u16string_view code, Cost cost = DefaultCost);
    ~Keys();
    Keys(const Keys &) = delete;
    Keys &operator=(const Keys &) = delete;

    const Salt &writeSalt() const { return writeSalt_; }
    Cost writeCost() const { return writeCost_; }
    // The key for a salt and cost, stretched on first use (a fraction of a second).
    const std::uint8_t *keyFor(const Salt &salt, Cost cost);
    bool has(const Salt &salt, Cost cost) const;
    // How many keys were stretched so far.
    int derivations() const;
    // Whether the key for this salt and cost is known to be the code's: it opened a file's first
    // chunk, or it is the write salt's. A first chunk that fails under such a key was changed.
    bool proven(const Salt &salt, Cost cost) const;
    void prove(const Salt &salt, Cost cost);

private:
    LockedBytes code_;
    Salt writeSalt_{};
    Cost writeCost_;
    mutable std::mutex mutex_;
    std::map<std::pair<Salt, Cost>, std::unique_ptr<LockedBytes>> keys_;
    std::set<std::pair<Salt, Cost>> proven_;
    int derivations_ = 0;
};

// What became of opening a sealed file under the current code.
enum class Opening {
    Opened,     // the code opens it; the stored extension is in `info`
    OtherCode,  // its first chunk does not open with the key from this code, a key not proven
};

// Receives the photo's bytes, chunk by chunk, in order: `offset` is where they stand in the
// photo, `total` the photo's whole length.
using Sink = std::function<void(const std::uint8_t *data, std::size_t length, std::uint64_t offset,
                                std::uint64_t total)>;

// Where a sealed file is read from: its size and a reader that fills up to `length` bytes
// (fewer only at the end).
struct Source {
    std::uint64_t size = 0;
    std::function<std::size_t(std::uint8_t *buffer, std::size_t length)> read;
};
Source SourceOf(InputFile &in);

// Reads a sealed file from its start under `keys`; `name` is for messages. Every chunk is checked before it
// reaches the sink; a file that fails after its first chunk opened, or whose first chunk fails
// under a proven key, or whose header asks for another cost, is damaged: FileError
// "Cannot open file ... The file is damaged ...". So is a failed allocation a FileError ("not
// enough memory"), for this file alone. The sink is given nothing but checked bytes, yet
// it may have been given the first chunks of a file found damaged later: nothing it was given may
// be used before Read returns. With `preview`, the file's preview is put there (left empty when
// the file has none). With `sink` empty, reading ends after the first chunk, or after the preview
// when one is asked for: a preview is checked as a chunk of its own, but the photo after it is
// not read at all.
Opening Read(const Source &in, const std::filesystem::path &name, Keys &keys, std::array<std::uint8_t, InfoSize> &info,
             const Sink &sink, SecureBytes *preview = nullptr);

// Writes the sealed form of `length` bytes pulled from `source` (which fills the buffer it is
// given, fully) to `out`, under the keys' write salt, with `preview` (at most MaxPreview bytes)
// when it is not empty. A failed allocation is a FileError ("not enough memory").
void Write(AtomicFile &out, Keys &keys, const std::array<std::uint8_t, InfoSize> &info, std::uint64_t length,
           const std::function<void(std::uint8_t *buffer, std::size_t length)> &source,
           std::span<const std::uint8_t> preview = {});

}  // namespace veilshot::cipher::sealed
