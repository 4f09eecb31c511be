#include "cipherengine.h"

#include "codetext.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <numeric>
#include <sys/mman.h>
#include <utility>
#include <unistd.h>
#include <vector>

namespace veilshot::cipher {

namespace fs = std::filesystem;

const std::array<std::uint8_t, 113> CodeShuffle = {
    1,   4,   77, 30, 3,  80,  76,  13,  111, 43,  84, 15, 110, 57, 64,  98, 107, 56, 25,
    68,  91,  33, 74, 35, 108, 20,  37,  48,  105, 86, 55, 27,  93, 66,  8,  103, 40, 31,
    22,  81,  50, 79, 113, 23, 16,  72,  94,  45,  18, 7,  102, 59, 11,  106, 5, 88,  100,
    39,  60,  96, 70, 29, 53,  69,  99,  21,  104, 6,  34, 95,  24, 71,  17,  41, 12,  90,
    87,  2,   51, 109, 26, 14, 65, 89,  47,  9,   112, 10, 49, 28,  85, 19,  92,  42, 83,
    75,  52,  30, 97, 46, 78, 54,  36,  82,  38,  62,  73, 44, 63,  67, 61, 58,  101,
};

namespace {

constexpr int WindowCount = 70;
constexpr int WindowLength = 113;
constexpr int WorkingLength = WindowCount * WindowLength;  // 7910
constexpr int DigitCharacters = 7650;                      // characters that give digits
constexpr int RoundCountPosition = KeyTableHalf / 2 + 147;  // 61587
constexpr int MinimumRounds = 7;
constexpr int CheckPosition = 737;

// Digits emitted for the bits of one byte, by mode: the k-th bit tested gives the k-th digit.
constexpr std::array<std::uint8_t, 8> SequenceA = {6, 3, 2, 7, 0, 4, 1, 5};
constexpr std::array<std::uint8_t, 8> SequenceB = {4, 7, 3, 0, 5, 1, 6, 2};

void EmitDigits(std::uint8_t byte, int mode, std::vector<std::uint8_t> &digits)
{
    const auto &sequence = (mode == 0 || mode == 2) ? SequenceA : SequenceB;
    const bool upward = mode < 2;  // modes 1 and 2 test bit 0 first, 3 and 4 bit 7 first
    for (int k = 0; k < 8; ++k) {
        const int bit = upward ? k : 7 - k;
        if (byte >> bit & 1)
            digits.push_back(sequence[k]);
    }
}

template <typename Container>
void Wipe(Container &c)
{
    SecureWipe(c.data(), c.size() * sizeof(c[0]));
}

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

}  // namespace

CheckValue CheckConstant()
{
    // Seven separate constants, so the value never stands in the binary as one string.
    constexpr std::uint8_t c1 = 0x5A, c2 = 0xC3, c3 = 0x17, c4 = 0x8E, c5 = 0x61, c6 = 0xF4, c7 = 0x2B;
    CheckValue value{};
    value[0] = c1;
    value[1] = c2;
    value[2] = c3;
    value[3] = c4;
    value[4] = c5;
    value[5] = c6;
    value[6] = c7;
    return value;
}

// --- Extension -------------------------------------------------------------------------------

Extension Extension::FromText(std::u16string_view text)
{
    Extension ext;
    if (text.size() > MaxExtLength)
        return ext;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t ch = text[i];
        // Lower case within Latin-1: A-Z and À-Þ except the multiplication sign.
        if ((ch >= u'A' && ch <= u'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
            ch += 0x20;
        ext.ExtBytes[i] = ch > 0xFF ? std::uint8_t('?') : static_cast<std::uint8_t>(ch);
    }
    ext.ExtLength = static_cast<std::uint8_t>(text.size());
    if (!ext.SafeInFileName())
        return {};
    return ext;
}

bool Extension::SafeInFileName() const
{
    if (ExtLength == 0)
        return true;
    if (ExtLength > MaxExtLength || ExtBytes[0] != '.')
        return false;
    const bool dots = ExtLength == 1 || (ExtLength == 2 && ExtBytes[1] == '.');
    if (dots)
        return false;
    for (std::size_t i = 1; i < ExtLength; ++i) {
        const std::uint8_t b = ExtBytes[i];
        if (b == '/' || b < 0x20 || (b >= 0x7F && b <= 0x9F))  // C0 and C1 controls, DEL
            return false;
    }
    return true;
}

Extension Extension::FromFileName(const fs::path &file)
{
    return FromText(Utf8ToUtf16(file.filename().extension().string()));
}

std::u16string Extension::text() const
{
    const std::size_t length = std::min<std::size_t>(ExtLength, MaxExtLength);
    return std::u16string(ExtBytes.begin(), ExtBytes.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string Extension::utf8() const
{
    return Utf16ToUtf8(text());
}

bool CouldBeCheck(const CheckValue &stored)
{
    const CheckValue constant = CheckConstant();
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (std::popcount(static_cast<std::uint8_t>(stored[i] ^ constant[i])) % 2 == 0)
            return false;
    }
    return true;
}

namespace {

void Tell(Refusal *refusal, Refusal why)
{
    if (refusal)
        *refusal = why;
}

}  // namespace

std::optional<Header> ReadHeader(const fs::path &veilFile, Refusal *refusal)
{
    Tell(refusal, Refusal::None);
    InputFile in(veilFile);
    std::array<std::uint8_t, HeaderSize> raw{};
    if (in.size() < HeaderSize || in.read(raw.data(), raw.size()) != raw.size()) {
        Tell(refusal, Refusal::TooShort);
        return std::nullopt;
    }
    Header header;
    std::copy_n(raw.begin(), header.check.size(), header.check.begin());
    if (!CouldBeCheck(header.check)) {
        Tell(refusal, Refusal::NotCiphered);
        return std::nullopt;
    }
    // A length above 6 is damage like any other; the 6-byte field is never read past.
    header.extension.ExtLength = raw[7];
    std::copy_n(raw.begin() + 8, MaxExtLength, header.extension.ExtBytes.begin());
    if (!header.extension.SafeInFileName())
        throw FileError(FileMessage("Cannot open file", veilFile,
                                    "The file is damaged: its stored extension cannot be part of a file name."));
    return header;
}

// --- SecureBytes -----------------------------------------------------------------------------

SecureBytes::SecureBytes(std::size_t size)
    : data_(std::make_unique_for_overwrite<std::uint8_t[]>(size))
    , size_(size)
{
}

SecureBytes::~SecureBytes()
{
    SecureWipe(data_.get(), size_);
}

SecureBytes::SecureBytes(SecureBytes &&other) noexcept
    : data_(std::move(other.data_))
    , size_(std::exchange(other.size_, 0))
{
}

SecureBytes &SecureBytes::operator=(SecureBytes &&other) noexcept
{
    if (this != &other) {
        SecureWipe(data_.get(), size_);
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

// --- Transform -------------------------------------------------------------------------------

void TransformBlockReference(const std::uint8_t *keyTable, std::uint8_t *buffer, std::size_t n, int c)
{
    std::size_t p = static_cast<std::size_t>(c) - 1;
    for (int pass = 0; pass < 5; ++pass) {
        for (std::size_t i = 0; i < n; ++i)
            buffer[i] ^= static_cast<std::uint8_t>(1u << keyTable[p++]);
    }
}

#if defined(__GNUC__) && defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void TransformBlockMasked(const std::uint8_t *maskTable, const std::uint8_t *source, std::uint8_t *target,
                          std::size_t n, int c)
{
    // Byte i meets positions c+i, c+n+i, ..., c+4n+i: five slices of the mask table.
    const std::uint8_t *__restrict m0 = maskTable + (c - 1);
    const std::uint8_t *__restrict m1 = m0 + n;
    const std::uint8_t *__restrict m2 = m1 + n;
    const std::uint8_t *__restrict m3 = m2 + n;
    const std::uint8_t *__restrict m4 = m3 + n;
    for (std::size_t i = 0; i < n; ++i)
        target[i] = static_cast<std::uint8_t>(source[i] ^ m0[i] ^ m1[i] ^ m2[i] ^ m3[i] ^ m4[i]);
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

std::unique_ptr<CipherEngine> CipherEngine::Copy() const
{
    auto copy = std::make_unique<CipherEngine>(kernel_);
    std::copy_n(tables_.get(), TablesSize, copy->tables_.get());
    copy->codeCheck_ = codeCheck_;
    copy->codeEntered_ = codeEntered_;
    copy->extension = extension;
    return copy;
}

CipherEngine::BuildResult CipherEngine::BuildKeyTable(std::u16string_view code)
{
    code = code.substr(0, std::min(code.size(), CodeReadLimit));

    std::u16string stripped;
    stripped.reserve(code.size());
    for (char16_t ch : code) {
        if (ch != u' ' && ch != u'\r' && ch != u'\n')
            stripped.push_back(ch);
    }
    if (stripped.empty())
        return BuildResult::NoCode;

    // The first 7910 characters, the code repeated end to end as often as needed, then
    // shuffled window by window.
    std::u16string shuffled(WorkingLength, u'\0');
    for (int w = 0; w < WindowCount; ++w) {
        for (int i = 0; i < WindowLength; ++i) {
            const std::size_t source = static_cast<std::size_t>(w * WindowLength + CodeShuffle[i] - 1);
            shuffled[static_cast<std::size_t>(w * WindowLength + i)] = stripped[source % stripped.size()];
        }
    }
    Wipe(stripped);

    // Digits from the set bits of the characters' bytes, low byte first, modes 1..4 in turn.
    std::vector<std::uint8_t> digits;
    digits.reserve(DigitCharacters * 16);
    int mode = 0;
    for (int i = 0; i < DigitCharacters; ++i) {
        const char16_t ch = shuffled[static_cast<std::size_t>(i)];
        EmitDigits(static_cast<std::uint8_t>(ch & 0xFF), mode, digits);
        mode = (mode + 1) % 4;
        EmitDigits(static_cast<std::uint8_t>(ch >> 8), mode, digits);
        mode = (mode + 1) % 4;
    }
    Wipe(shuffled);
    if (digits.empty())
        return BuildResult::NoCode;

    // Fill cyclically to 122880 digits (X) and interleave from the back and the front (R).
    // With 1-based X: R[2j-1] = X[122880-j], R[2j] = X[j].
    const std::size_t n = digits.size();
    auto x = [&](std::size_t k) { return digits[(k - 1) % n]; };
    std::vector<std::uint8_t> r(KeyTableHalf);
    for (std::size_t j = 1; j <= KeyTableHalf / 2; ++j) {
        r[2 * j - 2] = x(KeyTableHalf - j);
        r[2 * j - 1] = x(j);
    }
    Wipe(digits);

    // Round count: digits summed from position 61587 until they reach 7.
    int rounds = r[RoundCountPosition - 1];
    for (std::size_t next = RoundCountPosition; rounds < MinimumRounds; ++next) {
        if (next >= r.size()) {
            Wipe(r);
            return BuildResult::NoCode;
        }
        rounds += r[next];
    }

    // Reversed-run shuffle: each digit d appends the next d digits of Y in reverse order;
    // the new R is the last 122880 digits of Y.
    const std::size_t sum = std::accumulate(r.begin(), r.end(), std::size_t(0));
    std::vector<std::uint8_t> y(KeyTableHalf + sum + 8);
    for (int round = 0; round < rounds; ++round) {
        std::copy(r.begin(), r.end(), y.begin());
        std::size_t length = KeyTableHalf;
        std::size_t consumed = 0;
        for (std::size_t k = 0; k < KeyTableHalf; ++k) {
            const std::size_t d = r[k];
            if (d == 0)
                continue;
            // The d digits from `consumed`, reversed: load eight, reverse them, keep the last
            // d. What lies past the d digits is written over by the next appends (Y has
            // eight bytes of slack).
            static_assert(std::endian::native == std::endian::little, "the reversal below reads words little-endian");
            std::uint64_t word;
            std::memcpy(&word, y.data() + consumed, sizeof word);
            word = __builtin_bswap64(word) >> (8 * (8 - d));
            std::memcpy(y.data() + length, &word, sizeof word);
            length += d;
            consumed += d;
        }
        std::copy_n(y.begin() + static_cast<std::ptrdiff_t>(sum), KeyTableHalf, r.begin());
    }
    Wipe(y);

    for (std::size_t i = 0; i < KeyTableHalf; ++i) {
        table_[i] = table_[i + KeyTableHalf] = r[i];
        masks_[i] = masks_[i + KeyTableHalf] = static_cast<std::uint8_t>(1u << r[i]);
    }
    Wipe(r);
    for (std::size_t j = 0; j < KeyStreamSize; ++j) {
        keyStream_[j] = static_cast<std::uint8_t>(masks_[j] ^ masks_[j + BlockSize] ^ masks_[j + 2 * BlockSize] ^
                                                  masks_[j + 3 * BlockSize] ^ masks_[j + 4 * BlockSize]);
    }

    codeCheck_ = CheckConstant();
    ToggleCheck(codeCheck_);
    codeEntered_ = true;
    return BuildResult::Built;
}

void CipherEngine::ToggleCheck(CheckValue &value) const
{
    int p = CheckPosition;
    for (int pass = 0; pass < 7; ++pass) {
        for (auto &byte : value)
            byte ^= static_cast<std::uint8_t>(1u << KeyTable(p++));
    }
}

bool CipherEngine::Matches(const CheckValue &storedCheck) const
{
    CheckValue check = storedCheck;
    ToggleCheck(check);
    return check == CheckConstant();
}

Refusal CipherEngine::Judge(const CheckValue &storedCheck) const
{
    if (Matches(storedCheck))
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

int CipherEngine::StepCursor(int c, std::optional<std::size_t> tailLength) const
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

void CipherEngine::TransformRun(const std::uint8_t *source, std::uint8_t *target, std::size_t length,
                                std::uint64_t &remaining, int &cursor) const
{
    // A body of exactly k blocks ends with a full-size tail, not with an empty one.
    while (length > 0) {
        const bool tail = remaining <= BlockSize;
        const std::size_t n = tail ? static_cast<std::size_t>(remaining) : BlockSize;
        cursor = StepCursor(cursor, tail ? std::optional<std::size_t>(n) : std::nullopt);
        TransformBlock(source, target, n, cursor);
        source += n;
        target += n;
        length -= n;
        remaining -= n;
    }
}

void CipherEngine::Cipfoto(const fs::path &source, const fs::path &destination, AtomicFile::Mode mode)
{
    InputFile in(source);
    AtomicFile out(destination);

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
        TransformRun(input, staged + pending, piece, remaining, cursor);
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
    out.commit(mode);
}

bool CipherEngine::DecipherToFile(const fs::path &veilFile, const fs::path &destination, AtomicFile::Mode mode,
                                  Refusal *refusal)
{
    Tell(refusal, Refusal::None);
    InputFile in(veilFile);
    const std::uint64_t size = in.size();
    if (size < HeaderSize) {
        Tell(refusal, Refusal::TooShort);
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
    if (const Refusal why = Judge(stored); why != Refusal::None) {
        Tell(refusal, why);
        return false;
    }

    AtomicFile out(destination);
    const std::uint8_t *data = area + HeaderSize;
    std::size_t available = first - HeaderSize;
    std::uint64_t unread = size - first;
    std::uint64_t remaining = length;
    int cursor = CursorStart;  // CipherCursor, one per file
    for (;;) {
        // Whole blocks, unless these bytes end the body.
        const std::size_t n = unread == 0 ? available : available / BlockSize * BlockSize;
        TransformRun(data, output, n, remaining, cursor);
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

std::optional<SecureBytes> CipherEngine::DecipherFile(const fs::path &veilFile, Refusal *refusal) const
{
    Tell(refusal, Refusal::None);
    InputFile in(veilFile);
    std::array<std::uint8_t, HeaderSize> header{};
    if (in.size() < HeaderSize || in.read(header.data(), header.size()) != header.size()) {
        Tell(refusal, Refusal::TooShort);
        return std::nullopt;
    }
    CheckValue stored{};
    std::copy_n(header.begin(), stored.size(), stored.begin());
    if (const Refusal why = Judge(stored); why != Refusal::None) {
        Tell(refusal, why);
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
    TransformRun(body.data(), body.data(), body.size(), remaining, cursor);
    return body;
}

}  // namespace veilshot::cipher
