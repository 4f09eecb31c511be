// Code text files: the encodings a code file may come in, and the form the code window saves.

#include "cipher/codetext.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

struct Decoding {
    const char *name;
    friend std::ostream &operator<<(std::ostream &os, const Decoding &c) { return os << c.name; }
    std::string bytes;
    std::u16string text;
};

class CodeFileDecoding : public ::testing::TestWithParam<Decoding> {};

TEST_P(CodeFileDecoding, RecognisesTheEncoding)
{
    EXPECT_EQ(DecodeCodeText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CodeFileDecoding,
    ::testing::Values(
        Decoding{"Utf8WithMark", "\xEF\xBB\xBF" "caf\xC3\xA9", u"caf\u00e9"},
        Decoding{"Utf16LittleEndianWithMark", std::string("\xFF\xFE" "a\0\x1F\x04", 6), u"a\u041f"},
        Decoding{"Utf16BigEndianWithMark", std::string("\xFE\xFF\0a\x04\x1F", 6), u"a\u041f"},
        Decoding{"ValidUtf8WithoutMark", "\xE4\xB8\xAD x", u"\u4e2d x"},
        Decoding{"FourByteUtf8BecomesASurrogatePair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        Decoding{"InvalidUtf8IsLatin1", "caf\xE9 \xFF", u"caf\u00e9 \u00ff"},
        Decoding{"OverlongUtf8IsLatin1", "\xC0\xAF", u"\u00c0\u00af"},
        Decoding{"Empty", "", u""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CodeFileEncoding, SavesUtf16WithMarkAndCrLfAndReadsBackTheSameLines)
{
    EXPECT_EQ(EncodeCodeText(u"ab\ncd"), std::string("\xFF\xFE" "a\0b\0\r\0\n\0c\0d\0\r\0\n\0", 18));
    for (std::u16string text : {u"one line", u"two\r\nlines\r\n", u"\u4e2d\U0001F600\ttab"}) {
        std::u16string back = DecodeCodeText(EncodeCodeText(text));
        if (!text.ends_with(u"\r\n"))
            text += u"\r\n";
        EXPECT_EQ(back, text);
    }
}

}  // namespace
}  // namespace veilshot
