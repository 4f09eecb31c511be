#include "cipher/veilformat.h"

#include "cipher/codetext.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace veilshot::cipher {

namespace fs = std::filesystem;

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

Extension Extension::fromText(std::u16string_view text)
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
    if (!ext.safeInFileName())
        return {};
    return ext;
}

bool Extension::safeInFileName() const
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

Extension Extension::fromFileName(const fs::path &file)
{
    return fromText(Utf8ToUtf16(file.filename().extension().string()));
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

std::optional<Header> ReadHeader(const fs::path &veilFile, Refusal *refusal)
{
    SetRefusal(refusal, Refusal::None);
    InputFile in(veilFile);
    std::array<std::uint8_t, HeaderSize> raw{};
    if (in.size() < HeaderSize || in.read(raw.data(), raw.size()) != raw.size()) {
        SetRefusal(refusal, Refusal::TooShort);
        return std::nullopt;
    }
    Header header;
    std::copy_n(raw.begin(), header.check.size(), header.check.begin());
    if (!CouldBeCheck(header.check)) {
        SetRefusal(refusal, Refusal::NotCiphered);
        return std::nullopt;
    }
    // A length above 6 is damage like any other; the 6-byte field is never read past.
    header.extension.ExtLength = raw[7];
    std::copy_n(raw.begin() + 8, MaxExtLength, header.extension.ExtBytes.begin());
    if (!header.extension.safeInFileName())
        throw FileError(FileMessage("Cannot open file", veilFile,
                                    "The file is damaged: its stored extension cannot be part of a file name."));
    return header;
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

}  // namespace veilshot::cipher
