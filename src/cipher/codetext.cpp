#include "cipher/codetext.h"

#include "files/fileio.h"
#include "files/securememory.h"

namespace veilshot {

namespace {

constexpr char16_t Replacement = 0xFFFD;

void AppendCodePoint(std::u16string &out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
    }
    return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in, bool *valid)
{
    std::u16string out;
    out.reserve(in.size());
    bool ok = true;
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, minimum = 0x10000;
        } else {
            out.push_back(Replacement);
            ok = false;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j < in.size() && j <= i + extra; ++j) {
            const auto next = static_cast<unsigned char>(in[j]);
            if ((next & 0xC0) != 0x80)
                break;
            cp = cp << 6 | (next & 0x3F);
        }
        if (j != i + extra + 1 || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(Replacement);
            ok = false;
            i = j > i + 1 ? j : i + 1;
            continue;
        }
        AppendCodePoint(out, cp);
        i = j;
    }
    if (valid)
        *valid = ok;
    return out;
}

std::string Utf16ToUtf8(std::u16string_view in)
{
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = Replacement;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string DecodeCodeText(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return Utf8ToUtf16(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE"))
        return DecodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return DecodeUtf16(bytes.substr(2), true);
    bool valid = false;
    std::u16string text = Utf8ToUtf16(bytes, &valid);
    if (valid)
        return text;
    text.assign(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        text[i] = static_cast<unsigned char>(bytes[i]);
    return text;
}

std::string EncodeCodeText(std::u16string_view text)
{
    std::string out("\xFF\xFE", 2);
    auto put = [&out](char16_t unit) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    };
    if (text.empty())
        return out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == u'\r' || unit == u'\n') {
            if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            put(u'\r');
            put(u'\n');
        } else {
            put(unit);
        }
    }
    if (text.back() != u'\r' && text.back() != u'\n') {
        put(u'\r');
        put(u'\n');
    }
    return out;
}

std::u16string ReadCodeFile(const std::filesystem::path &file)
{
    InputFile in(file);
    if (in.size() > CodeFileLimit)
        throw FileError(FileMessage("Cannot open file", file,
                                    "It is larger than 1 MiB, far more than any code, so it is not a code file."));
    std::string bytes(static_cast<std::size_t>(in.size()), '\0');
    bytes.resize(in.read(bytes.data(), bytes.size()));
    std::u16string text = DecodeCodeText(bytes);
    SecureWipe(bytes.data(), bytes.size());
    return text;
}

}  // namespace veilshot
