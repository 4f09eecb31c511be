#include "cipher/sealedformat.h"

#include "files/securememory.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace veilshot::cipher::sealed {

namespace fs = std::filesystem;

namespace {

using Stream = crypto_secretstream_xchacha20poly1305_state;
constexpr std::uint8_t TagMessage = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
constexpr std::uint8_t TagFinal = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == StreamHeaderSize);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES == TagSize);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == KeySize);
static_assert(crypto_pwhash_SALTBYTES == SaltSize);

// Chunks read or written at a time: about 1 MiB of file per system call.
constexpr std::size_t ChunksPerPiece = 16;
constexpr std::size_t StoredChunk = ChunkSize + TagSize;
// More than the deepest the stretch's frames reach below their caller.
constexpr std::size_t StretchStack = 64 * 1024;

void StartSodium()
{
    if (::sodium_init() < 0)
        throw std::runtime_error("The cryptographic library cannot start.");
}

[[noreturn]] void ThrowNoMemory(const char *verb, const fs::path &file)
{
    throw FileError(FileMessage(verb, file, "There is not enough memory for it."));
}

// Argon2id leaves pieces of what it worked on - the key among them - in the stack frames it
// used below its caller. They are wiped here, on the thread that stretched, before the key is
// handed on: a worker thread's stack outlives the stretch.
int StretchAndClearStack(std::uint8_t *key, std::span<const std::uint8_t> code, const Salt &salt, Cost cost)
{
    const int result = ::crypto_pwhash(key, KeySize, reinterpret_cast<const char *>(code.data()), code.size(),
                                       salt.data(), cost.passes, std::size_t(cost.memoryKiB) * 1024,
                                       crypto_pwhash_ALG_ARGON2ID13);
    ::sodium_stackzero(StretchStack);
    return result;
}

[[noreturn]] void ThrowDamaged(const fs::path &file)
{
    throw FileError(FileMessage("Cannot open file", file,
                                "The file is damaged: it is not what was sealed (cut, changed or put together "
                                "from other files)."));
}

void PutLe32(std::uint8_t *at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t *at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= std::uint32_t(at[i]) << (8 * i);
    return value;
}

}  // namespace

bool Acceptable(const Cost &cost)
{
    return cost == DefaultCost;
}

bool IsSealed(std::span<const std::uint8_t> firstBytes)
{
    return firstBytes.size() >= Magic.size() && std::equal(Magic.begin(), Magic.end(), firstBytes.begin());
}

std::array<std::uint8_t, HeaderSize> Encode(const ClearHeader &header)
{
    std::array<std::uint8_t, HeaderSize> bytes{};
    std::copy(Magic.begin(), Magic.end(), bytes.begin());
    bytes[8] = header.version;
    bytes[9] = header.cost.passes;
    PutLe32(bytes.data() + 10, header.cost.memoryKiB);
    std::copy(header.salt.begin(), header.salt.end(), bytes.begin() + 14);
    std::copy(header.stream.begin(), header.stream.end(), bytes.begin() + 14 + SaltSize);
    return bytes;
}

ClearHeader Decode(std::span<const std::uint8_t, HeaderSize> bytes)
{
    ClearHeader header;
    header.version = bytes[8];
    header.cost.passes = bytes[9];
    header.cost.memoryKiB = GetLe32(bytes.data() + 10);
    std::copy_n(bytes.begin() + 14, SaltSize, header.salt.begin());
    std::copy_n(bytes.begin() + 14 + SaltSize, StreamHeaderSize, header.stream.begin());
    return header;
}

namespace {

// Where the first chunk ends in a file of `version`.
std::size_t InfoEnd(std::uint8_t version)
{
    return HeaderSize + (version == VersionWithPreview ? PreviewInfoSize : InfoSize) + TagSize;
}

}  // namespace

std::uint64_t SealedSize(std::uint64_t length, std::size_t previewLength)
{
    const std::uint64_t start =
        previewLength == 0 ? BodyStart : InfoEnd(VersionWithPreview) + previewLength + TagSize;
    return start + length + TagSize * (length / ChunkSize + 1);
}

bool BodyLength(std::uint64_t fileSize, std::uint64_t &length, std::uint64_t bodyStart)
{
    if (fileSize < bodyStart)
        return false;
    const std::uint64_t rest = fileSize - bodyStart;
    const std::uint64_t last = rest % StoredChunk;
    if (last < TagSize)
        return false;
    length = rest / StoredChunk * ChunkSize + (last - TagSize);
    return true;
}

// --- LockedBytes -------------------------------------------------------------------------------

LockedBytes::LockedBytes(std::size_t size)
    : data_(nullptr)
    , size_(size)
{
    StartSodium();
    // Guarded pages, locked out of swap where the limit allows, wiped on release.
    data_ = static_cast<std::uint8_t *>(::sodium_malloc(std::max<std::size_t>(size, 1)));
    if (!data_)
        throw std::bad_alloc();
}

LockedBytes::~LockedBytes()
{
    ::sodium_free(data_);
}

// --- Keys --------------------------------------------------------------------------------------

Keys::Keys(std::u16string_view code, Cost cost)
    : code_(code.size() * 2)
    , writeCost_(cost)
{
    // The code as UTF-16 little-endian bytes, whatever the machine's byte order.
    for (std::size_t i = 0; i < code.size(); ++i) {
        code_.data()[2 * i] = static_cast<std::uint8_t>(code[i] & 0xFF);
        code_.data()[2 * i + 1] = static_cast<std::uint8_t>(code[i] >> 8);
    }
    ::randombytes_buf(writeSalt_.data(), writeSalt_.size());
    proven_.insert({writeSalt_, writeCost_});
}

Keys::~Keys() = default;

const std::uint8_t *Keys::keyFor(const Salt &salt, Cost cost)
{
    const std::lock_guard lock(mutex_);
    auto &slot = keys_[{salt, cost}];
    if (!slot) {
        auto key = std::make_unique<LockedBytes>(KeySize);
        if (StretchAndClearStack(key->data(), {code_.data(), code_.size()}, salt, cost) != 0) {
            keys_.erase({salt, cost});
            throw std::bad_alloc();
        }
        slot = std::move(key);
        ++derivations_;
    }
    return slot->data();
}

bool Keys::has(const Salt &salt, Cost cost) const
{
    const std::lock_guard lock(mutex_);
    return keys_.contains({salt, cost});
}

int Keys::derivations() const
{
    const std::lock_guard lock(mutex_);
    return derivations_;
}

bool Keys::proven(const Salt &salt, Cost cost) const
{
    const std::lock_guard lock(mutex_);
    return proven_.contains({salt, cost});
}

void Keys::prove(const Salt &salt, Cost cost)
{
    const std::lock_guard lock(mutex_);
    proven_.insert({salt, cost});
}

// --- Reading and writing -----------------------------------------------------------------------

Source SourceOf(InputFile &in)
{
    return {in.size(), [&in](std::uint8_t *buffer, std::size_t length) { return in.read(buffer, length); }};
}

namespace {

Opening ReadChecked(const Source &in, const fs::path &name, Keys &keys, std::array<std::uint8_t, InfoSize> &info,
                    const Sink &sink, SecureBytes *preview)
{
    std::array<std::uint8_t, HeaderSize + PreviewInfoSize + TagSize> start{};
    if (in.size < BodyStart || in.read(start.data(), HeaderSize) != HeaderSize)
        ThrowDamaged(name);
    const std::span<const std::uint8_t, HeaderSize> clear(start.data(), HeaderSize);
    const ClearHeader header = Decode(clear);
    if (header.version != Version && header.version != VersionWithPreview)
        throw FileError(FileMessage("Cannot open file", name,
                                    "The file was sealed by a newer version of Veilshot, which this one cannot read."));
    if (!Acceptable(header.cost))
        ThrowDamaged(name);
    const std::size_t infoEnd = InfoEnd(header.version);
    if (in.size < infoEnd || in.read(start.data() + HeaderSize, infoEnd - HeaderSize) != infoEnd - HeaderSize)
        ThrowDamaged(name);

    Stream stream;
    const std::uint8_t *key = keys.keyFor(header.salt, header.cost);
    if (::crypto_secretstream_xchacha20poly1305_init_pull(&stream, header.stream.data(), key) != 0)
        return Opening::OtherCode;
    std::uint8_t tag = 0;
    // The clear header is bound to the first chunk: a changed salt or stream header opens
    // nothing, as another code would. Where this salt's key opened another file already, the
    // key is the code's, and a first chunk that does not open was changed.
    std::array<std::uint8_t, PreviewInfoSize> opened{};
    if (::crypto_secretstream_xchacha20poly1305_pull(&stream, opened.data(), nullptr, &tag, start.data() + HeaderSize,
                                                     infoEnd - HeaderSize, start.data(), HeaderSize) != 0) {
        if (keys.proven(header.salt, header.cost))
            ThrowDamaged(name);
        return Opening::OtherCode;
    }
    keys.prove(header.salt, header.cost);
    if (tag != TagMessage)
        ThrowDamaged(name);
    std::copy_n(opened.begin(), InfoSize, info.begin());
    if (preview)
        *preview = SecureBytes();

    std::uint64_t bodyStart = infoEnd;
    if (header.version == VersionWithPreview) {
        const std::uint32_t previewLength = GetLe32(opened.data() + InfoSize);
        if (previewLength == 0 || previewLength > MaxPreview)
            ThrowDamaged(name);
        bodyStart += previewLength + TagSize;
        if (preview || sink) {
            SecureBytes stored(previewLength + TagSize);
            SecureBytes plain(previewLength);
            if (in.size < bodyStart || in.read(stored.data(), stored.size()) != stored.size() ||
                ::crypto_secretstream_xchacha20poly1305_pull(&stream, plain.data(), nullptr, &tag, stored.data(),
                                                             stored.size(), nullptr, 0) != 0 ||
                tag != TagMessage)
                ThrowDamaged(name);
            if (preview)
                *preview = std::move(plain);
        }
    }
    if (!sink) {
        ::sodium_memzero(&stream, sizeof stream);
        return Opening::Opened;
    }

    std::uint64_t length = 0;
    if (!BodyLength(in.size, length, bodyStart))
        ThrowDamaged(name);
    const std::uint64_t chunks = length / ChunkSize + 1;
    SecureBytes stored(ChunksPerPiece * StoredChunk);
    SecureBytes plain(ChunkSize);
    std::uint64_t done = 0;
    while (done < chunks) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(ChunksPerPiece, chunks - done));
        const bool ends = done + count == chunks;
        const std::size_t bytes = ends ? static_cast<std::size_t>(in.size - bodyStart - done * StoredChunk)
                                       : count * StoredChunk;
        if (in.read(stored.data(), bytes) != bytes)
            ThrowDamaged(name);  // shrank while it was read
        for (std::size_t i = 0; i < count; ++i) {
            const bool last = done + i + 1 == chunks;
            const std::size_t size = last ? bytes - i * StoredChunk : StoredChunk;
            unsigned long long got = 0;
            if (::crypto_secretstream_xchacha20poly1305_pull(&stream, plain.data(), &got, &tag,
                                                             stored.data() + i * StoredChunk, size, nullptr, 0) != 0 ||
                tag != (last ? TagFinal : TagMessage))
                ThrowDamaged(name);
            sink(plain.data(), static_cast<std::size_t>(got), (done + i) * ChunkSize, length);
        }
        done += count;
    }
    std::uint8_t extra = 0;
    if (in.read(&extra, 1) != 0)
        ThrowDamaged(name);  // grew while it was read
    ::sodium_memzero(&stream, sizeof stream);
    return Opening::Opened;
}

}  // namespace

Opening Read(const Source &in, const fs::path &name, Keys &keys, std::array<std::uint8_t, InfoSize> &info,
             const Sink &sink, SecureBytes *preview)
{
    try {
        return ReadChecked(in, name, keys, info, sink, preview);
    } catch (const std::bad_alloc &) {
        ThrowNoMemory("Cannot open file", name);
    }
}

namespace {

void WriteSealed(AtomicFile &out, Keys &keys, const std::array<std::uint8_t, InfoSize> &info, std::uint64_t length,
                 const std::function<void(std::uint8_t *buffer, std::size_t length)> &source,
                 std::span<const std::uint8_t> preview)
{
    if (preview.size() > MaxPreview)
        throw std::invalid_argument("A sealed file's preview is at most MaxPreview bytes.");
    ClearHeader header;
    header.version = preview.empty() ? Version : VersionWithPreview;
    header.cost = keys.writeCost();
    header.salt = keys.writeSalt();
    const std::uint8_t *key = keys.keyFor(header.salt, header.cost);
    Stream stream;
    ::crypto_secretstream_xchacha20poly1305_init_push(&stream, header.stream.data(), key);

    const std::size_t infoEnd = InfoEnd(header.version);
    const std::size_t capacity = InfoEnd(VersionWithPreview) + ChunksPerPiece * StoredChunk;
    SecureBytes stored(capacity);
    SecureBytes plain(ChunkSize);
    const auto clear = Encode(header);
    std::copy(clear.begin(), clear.end(), stored.data());
    std::array<std::uint8_t, PreviewInfoSize> first{};
    std::copy(info.begin(), info.end(), first.begin());
    PutLe32(first.data() + InfoSize, static_cast<std::uint32_t>(preview.size()));
    ::crypto_secretstream_xchacha20poly1305_push(&stream, stored.data() + HeaderSize, nullptr, first.data(),
                                                 infoEnd - HeaderSize - TagSize, clear.data(), HeaderSize, TagMessage);
    std::size_t pending = infoEnd;
    if (!preview.empty()) {
        out.write(stored.data(), pending);
        pending = 0;
        SecureBytes sealedPreview(preview.size() + TagSize);
        ::crypto_secretstream_xchacha20poly1305_push(&stream, sealedPreview.data(), nullptr, preview.data(),
                                                     preview.size(), nullptr, 0, TagMessage);
        out.write(sealedPreview.data(), sealedPreview.size());
    }

    const std::uint64_t chunks = length / ChunkSize + 1;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        const bool last = i + 1 == chunks;
        const std::size_t n = last ? static_cast<std::size_t>(length % ChunkSize) : ChunkSize;
        source(plain.data(), n);
        ::crypto_secretstream_xchacha20poly1305_push(&stream, stored.data() + pending, nullptr, plain.data(), n,
                                                     nullptr, 0, last ? TagFinal : TagMessage);
        pending += n + TagSize;
        if (pending + StoredChunk > capacity || last) {
            out.write(stored.data(), pending);
            pending = 0;
        }
    }
    ::sodium_memzero(&stream, sizeof stream);
}

}  // namespace

void Write(AtomicFile &out, Keys &keys, const std::array<std::uint8_t, InfoSize> &info, std::uint64_t length,
           const std::function<void(std::uint8_t *buffer, std::size_t length)> &source,
           std::span<const std::uint8_t> preview)
{
    try {
        WriteSealed(out, keys, info, length, source, preview);
    } catch (const std::bad_alloc &) {
        ThrowNoMemory("Cannot create file", out.target());
    }
}

}  // namespace veilshot::cipher::sealed
