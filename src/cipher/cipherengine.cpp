#include "cipher/cipherengine.h"
#include "files/securememory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace veilshot::cipher {

namespace fs = std::filesystem;

namespace {

constexpr int CheckPosition = 737;  // the code check takes key-table positions 737..785

std::uint64_t MemoryLimit()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return std::uint64_t(1) << 31;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

// A full block at any start position 1..KeyTableHalf reads the key stream up to here.
constexpr std::size_t KeyStreamSize = KeyTableHalf + BlockSize;
constexpr std::size_t TablesSize = 2 * KeyTableSize + KeyStreamSize;

constexpr std::size_t PageSize = 4096;

constexpr std::size_t RoundUpToPage(std::size_t size)
{
    return (size + PageSize - 1) / PageSize * PageSize;
}

// Page-aligned memory for one run's file data, overwritten before it is released.
class WorkBuffer {
public:
    explicit WorkBuffer(std::size_t size)
        : size_(RoundUpToPage(size))
        , data_(static_cast<std::uint8_t *>(::operator new(size_, std::align_val_t(PageSize))))
    {
    }
    ~WorkBuffer()
    {
        SecureWipe(data_, size_);
        ::operator delete(data_, std::align_val_t(PageSize));
    }
    WorkBuffer(const WorkBuffer &) = delete;
    WorkBuffer &operator=(const WorkBuffer &) = delete;

    std::uint8_t *data() const { return data_; }

private:
    std::size_t size_;
    std::uint8_t *data_;
};

#if defined(__GNUC__) && defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void XorKeyStream(const std::uint8_t *keyStream, const std::uint8_t *source, std::uint8_t *target, std::size_t n)
{
    const std::uint8_t *__restrict key = keyStream;
    for (std::size_t i = 0; i < n; ++i)
        target[i] = static_cast<std::uint8_t>(source[i] ^ key[i]);
}

[[noreturn]] void ThrowGrew(const fs::path &file)
{
    throw FileError(FileMessage("Cannot open file", file, "The file grew while it was read."));
}


SecureBytes BodyBuffer(const fs::path &veilFile, std::uint64_t length)
{
    if (length > MemoryLimit() || length > SIZE_MAX)
        throw FileError(FileMessage("Cannot open file", veilFile, "The file is too large to hold in memory."));
    try {
        return SecureBytes(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc &) {
        throw FileError(FileMessage("Cannot open file", veilFile, "The file is too large to hold in memory."));
    }
}

}  // namespace

void RefuseOwnInput(const fs::path &source, const fs::path &destination, const FileIds *runInputs)
{
    if (SameFile(source, destination))
        throw FileError(FileMessage("Cannot create file", destination,
                                    "It is the file being read, and a file is never written over itself."));
    if (runInputs && runInputs->contains(destination))
        throw FileError(FileMessage("Cannot create file", destination,
                                    "It is a file this run reads, and a run never writes over what it reads."));
}

Format FormatOf(const fs::path &veilFile)
{
    InputFile in(veilFile);
    std::array<std::uint8_t, sealed::Magic.size()> first{};
    const std::size_t got = in.read(first.data(), first.size());
    return sealed::IsSealed(std::span(first.data(), got)) ? Format::Sealed : Format::Keyed;
}

// --- CipherEngine ----------------------------------------------------------------------------

CipherEngine::CipherEngine(Kernel kernel)
    : kernel_(kernel)
    , tables_(new std::uint8_t[TablesSize]())
{
    table_ = tables_.get();
    masks_ = table_ + KeyTableSize;
    keyStream_ = masks_ + KeyTableSize;
    std::fill_n(masks_, KeyTableSize, std::uint8_t(1));  // digit 0 everywhere
    std::fill_n(keyStream_, KeyStreamSize, std::uint8_t(1));  // five masks of digit 0 XORed
    // Keep the tables out of swap where the system allows it; without the right, go on.
    locked_ = ::mlock(tables_.get(), TablesSize) == 0;
}

CipherEngine::~CipherEngine()
{
    SecureWipe(tables_.get(), TablesSize);
    SecureWipe(codeCheck_.data(), codeCheck_.size());
    if (locked_)
        ::munlock(tables_.get(), TablesSize);
}

std::unique_ptr<CipherEngine> CipherEngine::copy() const
{
    auto copy = std::make_unique<CipherEngine>(kernel_);
    std::copy_n(tables_.get(), TablesSize, copy->tables_.get());
    copy->codeCheck_ = codeCheck_;
    copy->codeEntered_ = codeEntered_;
    copy->extension = extension;
    copy->writeFormat_ = writeFormat_;
    copy->keys_ = keys_;
    return copy;
}

CipherEngine::BuildResult CipherEngine::BuildKeyTable(std::u16string_view code)
{
    std::u16string counted = CountedCode(code);
    std::unique_ptr<std::uint8_t[]> r(new std::uint8_t[KeyTableHalf]);
    const bool built = BuildDigits(counted, r.get());
    auto keys = built ? std::make_shared<sealed::Keys>(counted) : nullptr;
    SecureWipe(counted.data(), counted.size() * sizeof(char16_t));
    if (!built)
        return BuildResult::NoCode;

    for (std::size_t i = 0; i < KeyTableHalf; ++i) {
        table_[i] = table_[i + KeyTableHalf] = r[i];
        masks_[i] = masks_[i + KeyTableHalf] = static_cast<std::uint8_t>(1u << r[i]);
    }
    SecureWipe(r.get(), KeyTableHalf);
    for (std::size_t j = 0; j < KeyStreamSize; ++j) {
        keyStream_[j] = static_cast<std::uint8_t>(masks_[j] ^ masks_[j + BlockSize] ^ masks_[j + 2 * BlockSize] ^
                                                  masks_[j + 3 * BlockSize] ^ masks_[j + 4 * BlockSize]);
    }

    codeCheck_ = CheckConstant();
    toggleCheck(codeCheck_);
    codeEntered_ = true;
    keys_ = std::move(keys);
    return BuildResult::Built;
}

// --- The keyed transform ---------------------------------------------------------------------

void CipherEngine::toggleCheck(CheckValue &value) const
{
    int p = CheckPosition;
    for (int pass = 0; pass < 7; ++pass) {
        for (auto &byte : value)
            byte ^= static_cast<std::uint8_t>(1u << KeyTable(p++));
    }
}

bool CipherEngine::matches(const CheckValue &storedCheck) const
{
    CheckValue check = storedCheck;
    toggleCheck(check);
    return check == CheckConstant();
}

Refusal CipherEngine::judge(const CheckValue &storedCheck) const
{
    if (matches(storedCheck))
        return Refusal::None;
    return CouldBeCheck(storedCheck) ? Refusal::OtherCode : Refusal::NotCiphered;
}

void CipherEngine::TransformBlock(std::uint8_t *buffer, std::size_t n, int c) const
{
    TransformBlock(buffer, buffer, n, c);
}

void CipherEngine::TransformBlock(const std::uint8_t *source, std::uint8_t *target, std::size_t n, int c) const
{
    if (kernel_ == Kernel::Fast) {
        if (n == BlockSize)
            XorKeyStream(keyStream_ + (c - 1), source, target, n);
        else
            TransformBlockMasked(masks_, source, target, n, c);
    } else {
        if (source != target)
            std::memcpy(target, source, n);
        TransformBlockReference(table_, target, n, c);
    }
}

int CipherEngine::stepCursor(int c, std::optional<std::size_t> tailLength) const
{
    int step = KeyTable(c) * 10 + KeyTable(c + 1);
    if (step == 0)
        step = 39;
    c += step;
    if (tailLength && *tailLength < 100)
        c += static_cast<int>(*tailLength);
    if (c > KeyTableHalf)
        c -= KeyTableHalf;
    return c;
}

void CipherEngine::transformRun(const std::uint8_t *source, std::uint8_t *target, std::size_t length,
                                std::uint64_t &remaining, int &cursor) const
{
    // A body of exactly k blocks ends with a full-size tail, not with an empty one.
    while (length > 0) {
        const bool tail = remaining <= BlockSize;
        const std::size_t n = tail ? static_cast<std::size_t>(remaining) : BlockSize;
        cursor = stepCursor(cursor, tail ? std::optional<std::size_t>(n) : std::nullopt);
        TransformBlock(source, target, n, cursor);
        source += n;
        target += n;
        length -= n;
        remaining -= n;
    }
}

// --- Ciphering -------------------------------------------------------------------------------

void CipherEngine::Cipfoto(const fs::path &source, const fs::path &destination, AtomicFile::Mode mode,
                           std::span<const std::uint8_t> preview, const FileIds *runInputs)
{
    InputFile in(source);
    RefuseOwnInput(source, destination, runInputs);
    AtomicFile out(destination);
    if (writeFormat_ == Format::Sealed)
        cipherSealed(in, source, out, preview);
    else
        cipherKeyed(in, source, out);
    out.commit(mode);
}

void CipherEngine::cipherKeyed(InputFile &in, const fs::path &source, AtomicFile &out) const
{
    // The source is read in whole blocks, so every read starts on a page boundary. The header
    // goes out with the first piece of the body and every write but the last is StreamChunk
    // long, so every write starts on a page boundary too: otherwise the 14-byte header would
    // leave each one straddling pages of the file. What a piece brings beyond StreamChunk (less
    // than a block) moves to the front of `staged` for the next write.
    const std::uint64_t length = in.size();
    const std::size_t inputSize = std::max<std::size_t>(1, std::min<std::uint64_t>(length, StreamChunk + BlockSize));
    const std::size_t stagedSize = std::min<std::uint64_t>(HeaderSize + length, StreamChunk + BlockSize);
    WorkBuffer work(RoundUpToPage(inputSize) + stagedSize);
    std::uint8_t *input = work.data();
    std::uint8_t *staged = input + RoundUpToPage(inputSize);

    std::copy(codeCheck_.begin(), codeCheck_.end(), staged);
    staged[7] = std::min<std::uint8_t>(extension.ExtLength, MaxExtLength);
    std::copy(extension.ExtBytes.begin(), extension.ExtBytes.end(), staged + 8);
    std::size_t pending = HeaderSize;

    int cursor = CursorStart;  // CipherCursor, one per file
    for (std::uint64_t remaining = length; remaining > 0;) {
        const std::size_t wanted = (StreamChunk - pending + BlockSize - 1) / BlockSize * BlockSize;
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, wanted));
        in.readExactly(input, piece);
        transformRun(input, staged + pending, piece, remaining, cursor);
        pending += piece;
        if (pending >= StreamChunk) {
            out.write(staged, StreamChunk);
            pending -= StreamChunk;
            std::memcpy(staged, staged + StreamChunk, pending);
        }
    }
    if (in.read(input, 1) != 0)
        ThrowGrew(source);
    out.write(staged, pending);
}

void CipherEngine::cipherSealed(InputFile &in, const fs::path &source, AtomicFile &out,
                                std::span<const std::uint8_t> preview) const
{
    if (!keys_)
        throw FileError(FileMessage("Cannot create file", out.target(), "No code has been entered."));
    sealed::Write(out, *keys_, InfoOf(extension), in.size(),
                  [&](std::uint8_t *buffer, std::size_t length) { in.readExactly(buffer, length); }, preview);
    std::uint8_t extra = 0;
    if (in.read(&extra, 1) != 0)
        ThrowGrew(source);
}

// --- Deciphering -----------------------------------------------------------------------------

Examined CipherEngine::examine(const fs::path &veilFile) const
{
    Examined examined;
    examined.format = FormatOf(veilFile);
    if (examined.format == Format::Sealed) {
        examined.refusal = readSealed(veilFile, &examined.extension, {});
        return examined;
    }
    const auto header = ReadHeader(veilFile, &examined.refusal);
    if (header) {
        examined.refusal = judge(header->check);
        if (examined.refusal == Refusal::None)
            examined.extension = header->extension;
    }
    return examined;
}

bool CipherEngine::decipherToFile(const fs::path &veilFile, const fs::path &destination, AtomicFile::Mode mode,
                                  Refusal *refusal, const FileIds *runInputs) const
{
    SetRefusal(refusal, Refusal::None);
    InputFile in(veilFile);
    RefuseOwnInput(veilFile, destination, runInputs);
    if (FormatOf(veilFile) == Format::Keyed)
        return decipherKeyedToFile(in, veilFile, destination, mode, refusal);

    // Nothing gets a name before the last chunk is checked: a damaged file leaves no copy.
    std::optional<AtomicFile> out;
    const Refusal why = readSealed(veilFile, nullptr, [&](const std::uint8_t *data, std::size_t length, std::uint64_t, std::uint64_t) {
        if (!out)
            out.emplace(destination, AtomicFile::Naming::Unnamed, AtomicFile::Access::OwnerOnly);
        out->write(data, length);
    });
    if (why != Refusal::None) {
        SetRefusal(refusal, why);
        return false;
    }
    out->commit(mode);
    return true;
}

bool CipherEngine::decipherKeyedToFile(InputFile &in, const fs::path &veilFile, const fs::path &destination,
                                       AtomicFile::Mode mode, Refusal *refusal) const
{
    const std::uint64_t size = in.size();
    if (size < HeaderSize) {
        SetRefusal(refusal, Refusal::TooShort);
        return false;
    }

    // The mirror of Cipfoto: the header comes in with the first piece of the body and every
    // read but the last is StreamChunk long, so every read starts on a page boundary; whole
    // blocks are written, so every write does too. The bytes of a piece beyond its last whole
    // block (less than a block) move to just before `area`, where the next piece is read.
    const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(size, StreamChunk));
    const std::uint64_t length = size - HeaderSize;
    const std::size_t outputSize = std::max<std::size_t>(1, std::min<std::uint64_t>(length, StreamChunk + BlockSize));
    WorkBuffer work(BlockSize + RoundUpToPage(first) + outputSize);
    std::uint8_t *area = work.data() + BlockSize;
    std::uint8_t *output = area + RoundUpToPage(first);

    in.readExactly(area, first);
    CheckValue stored{};
    std::copy_n(area, stored.size(), stored.begin());
    if (const Refusal why = judge(stored); why != Refusal::None) {
        SetRefusal(refusal, why);
        return false;
    }

    AtomicFile out(destination, AtomicFile::Naming::Unnamed, AtomicFile::Access::OwnerOnly);
    const std::uint8_t *data = area + HeaderSize;
    std::size_t available = first - HeaderSize;
    std::uint64_t unread = size - first;
    std::uint64_t remaining = length;
    int cursor = CursorStart;  // CipherCursor, one per file
    for (;;) {
        // Whole blocks, unless these bytes end the body.
        const std::size_t n = unread == 0 ? available : available / BlockSize * BlockSize;
        transformRun(data, output, n, remaining, cursor);
        out.write(output, n);
        if (unread == 0)
            break;
        const std::size_t left = available - n;
        std::uint8_t *front = area - left;
        std::memmove(front, data + n, left);
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(unread, StreamChunk));
        in.readExactly(area, piece);
        unread -= piece;
        data = front;
        available = left + piece;
    }
    if (in.read(output, 1) != 0)
        ThrowGrew(veilFile);
    out.commit(mode);
    return true;
}

std::optional<SecureBytes> CipherEngine::decipherFile(const fs::path &veilFile, Refusal *refusal,
                                                      Extension *extension) const
{
    SetRefusal(refusal, Refusal::None);
    if (FormatOf(veilFile) == Format::Sealed) {
        SecureBytes body;
        const Refusal why = readSealed(veilFile, extension, [&](const std::uint8_t *data, std::size_t length, std::uint64_t offset,
                                                                     std::uint64_t total) {
            if (offset == 0)
                body = BodyBuffer(veilFile, total);
            std::memcpy(body.data() + offset, data, length);
        });
        if (why != Refusal::None) {
            SetRefusal(refusal, why);
            return std::nullopt;
        }
        return body;
    }

    InputFile in(veilFile);
    std::array<std::uint8_t, HeaderSize> header{};
    if (in.size() < HeaderSize || in.read(header.data(), header.size()) != header.size()) {
        SetRefusal(refusal, Refusal::TooShort);
        return std::nullopt;
    }
    CheckValue stored{};
    std::copy_n(header.begin(), stored.size(), stored.begin());
    if (const Refusal why = judge(stored); why != Refusal::None) {
        SetRefusal(refusal, why);
        return std::nullopt;
    }

    const std::uint64_t length = in.size() - HeaderSize;
    if (length > MemoryLimit() || length > SIZE_MAX)
        throw FileError(FileMessage("Cannot open file", veilFile, "The file is too large to hold in memory."));
    SecureBytes body;
    try {
        body = SecureBytes(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc &) {
        throw FileError(FileMessage("Cannot open file", veilFile, "The file is too large to hold in memory."));
    }
    in.readExactly(body.data(), body.size());

    int cursor = CursorStart;  // CipherCursor, one per file
    std::uint64_t remaining = length;
    transformRun(body.data(), body.data(), body.size(), remaining, cursor);
    return body;
}

Refusal CipherEngine::decipherInPieces(const fs::path &veilFile,
                                       const std::function<void(std::span<const std::uint8_t>)> &sink) const
{
    if (FormatOf(veilFile) == Format::Sealed)
        return readSealed(veilFile, nullptr, [&](const std::uint8_t *data, std::size_t length, std::uint64_t, std::uint64_t) {
            sink({data, length});
        });
    Refusal refusal = Refusal::None;
    if (const auto body = decipherFile(veilFile, &refusal))
        sink(body->bytes());
    return refusal;
}

Refusal CipherEngine::verify(const fs::path &veilFile) const
{
    if (FormatOf(veilFile) == Format::Sealed)
        return readSealed(veilFile, nullptr, [](const std::uint8_t *, std::size_t, std::uint64_t, std::uint64_t) {});
    Refusal refusal = Refusal::None;
    decipherFile(veilFile, &refusal);
    return refusal;
}

}  // namespace veilshot::cipher
