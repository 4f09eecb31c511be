// Building the key table from the code: which codes are the same, which are refused, and the
// invariants every table keeps.

#include "cipher/cipherengine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace veilshot::cipher {
namespace {

std::vector<std::uint8_t> TableOf(const CipherEngine &engine)
{
    std::vector<std::uint8_t> digits(KeyTableSize);
    for (int p = 1; p <= KeyTableSize; ++p)
        digits[static_cast<std::size_t>(p - 1)] = engine.KeyTable(p);
    return digits;
}

struct Built {
    std::vector<std::uint8_t> table;
    CheckValue check;
};

Built Build(std::u16string_view code)
{
    CipherEngine engine;
    EXPECT_EQ(engine.BuildKeyTable(code), CipherEngine::BuildResult::Built);
    return {TableOf(engine), engine.CodeCheck()};
}

TEST(KeyTable, EveryTableIsDoubledDigitsAndItsCheckToggleBack)
{
    for (const std::u16string &code : std::vector<std::u16string>{u"Veilshot", u"x", u"\u00e9\u4e2d\U0001F600 mixed\ttext", std::u16string(20000, u'q')}) {
        CipherEngine engine;
        ASSERT_EQ(engine.BuildKeyTable(code), CipherEngine::BuildResult::Built);
        EXPECT_TRUE(engine.CodeEntered());
        for (int p = 1; p <= KeyTableHalf; ++p) {
            ASSERT_LE(engine.KeyTable(p), 7) << "position " << p;
            ASSERT_EQ(engine.KeyTable(p), engine.KeyTable(p + KeyTableHalf)) << "position " << p;
        }
        CheckValue check = engine.CodeCheck();
        engine.toggleCheck(check);
        EXPECT_EQ(check, CheckConstant());
        engine.toggleCheck(check);
        EXPECT_EQ(check, engine.CodeCheck());
    }
}

TEST(KeyTable, BuildingTwiceGivesTheSameTableAndANewCodeReplacesIt)
{
    CipherEngine engine;
    engine.BuildKeyTable(u"first code");
    const auto first = TableOf(engine);
    const auto firstCheck = engine.CodeCheck();
    engine.BuildKeyTable(u"second code");
    EXPECT_NE(TableOf(engine), first);
    engine.BuildKeyTable(u"first code");
    EXPECT_EQ(TableOf(engine), first);
    EXPECT_EQ(engine.CodeCheck(), firstCheck);
}

TEST(KeyTable, ACopyKeepsItsCodeWhenTheOriginalGetsANewOne)
{
    CipherEngine engine;
    engine.BuildKeyTable(u"first code");
    const auto first = TableOf(engine);
    const auto copy = engine.copy();
    engine.BuildKeyTable(u"second code");
    EXPECT_TRUE(copy->CodeEntered());
    EXPECT_EQ(TableOf(*copy), first);
    CheckValue check = copy->CodeCheck();
    EXPECT_FALSE(engine.matches(check));
    EXPECT_TRUE(copy->matches(check));
}

// A full block is transformed from a key stream made with the table; it must follow the table
// into a copy and be remade with every new code.
TEST(KeyTable, FullBlocksFollowTheCodeIntoCopiesAndNewCodes)
{
    auto fullBlock = [](const CipherEngine &engine, int c) {
        std::vector<std::uint8_t> block(BlockSize, 0);
        engine.TransformBlock(block.data(), block.size(), c);
        return block;
    };
    CipherEngine first, second;
    first.BuildKeyTable(u"first code");
    second.BuildKeyTable(u"second code");
    CipherEngine engine;
    engine.BuildKeyTable(u"first code");
    const auto copy = engine.copy();
    engine.BuildKeyTable(u"second code");
    for (int c : {1, CursorStart, KeyTableHalf}) {
        EXPECT_EQ(fullBlock(*copy, c), fullBlock(first, c)) << c;
        EXPECT_EQ(fullBlock(engine, c), fullBlock(second, c)) << c;
        EXPECT_NE(fullBlock(engine, c), fullBlock(first, c)) << c;
    }
}

// Codes compared pairwise: whether they must give the same table.
struct CodePair {
    const char *name;
    friend std::ostream &operator<<(std::ostream &os, const CodePair &c) { return os << c.name; }
    std::u16string a;
    std::u16string b;
    bool same;
};

std::u16string Repeat(std::u16string_view unit, std::size_t times)
{
    std::u16string s;
    for (std::size_t i = 0; i < times; ++i)
        s += unit;
    return s;
}

class CodeEquivalence : public ::testing::TestWithParam<CodePair> {};

TEST_P(CodeEquivalence, TablesAgreeExactlyWhenTheyShould)
{
    const auto &pair = GetParam();
    const Built a = Build(pair.a);
    const Built b = Build(pair.b);
    EXPECT_EQ(a.table == b.table, pair.same);
    EXPECT_EQ(a.check == b.check, pair.same);
}

const std::u16string Long7910 = Repeat(u"abcdefghij", 791);  // exactly 7910 characters

INSTANTIATE_TEST_SUITE_P(
    Codes, CodeEquivalence,
    ::testing::Values(
        CodePair{"SpacesAndLineBreaksIgnored", u"open sesame", u" open\r\nses ame \r\n", true},
        CodePair{"SeveralLinesEqualOneLine", u"line one\r\nline two", u"lineoneline two", true},
        CodePair{"TabCounts", u"open\tsesame", u"opensesame", false},
        CodePair{"OneCharacterEqualsItRepeated7910Times", u"k", Repeat(u"k", 7910), true},
        CodePair{"OnlyFirst7910NonBlankCharactersCount", Long7910 + u"tail one", Long7910 + u"another tail", true},
        // Character 7000 reaches the digits; some characters near the end never do.
        CodePair{"ACharacterNearTheEndCounts", Long7910.substr(0, 6999) + u"X" + Long7910.substr(7000), Long7910,
                 false},
        CodePair{"Only13000CharactersAreRead", Repeat(u" ", 12990) + u"abcdefghij" + u"zzz",
                 Repeat(u" ", 12990) + u"abcdefghij" + u"yyy", true},
        CodePair{"HighBytesOfNonAsciiCharactersCount", u"\u0141", u"\u0041", false},
        CodePair{"LetterCaseCounts", u"Code", u"code", false}),
    [](const auto &info) { return std::string(info.param.name); });

// Refusals: nothing changes, and a table built earlier stays.
struct Refusal {
    const char *name;
    friend std::ostream &operator<<(std::ostream &os, const Refusal &c) { return os << c.name; }
    std::u16string code;
};

// A 7910-character code whose every digit is 0: after the shuffle, characters alternate
// U+0010 (bit 4, digit 0 in the first mode) and U+0008 (bit 3, digit 0 in the third mode).
std::u16string AllZeroDigitsCode()
{
    std::u16string working(7910, u'\u0010');
    for (int w = 0; w < 70; ++w) {
        for (int i = 0; i < 113; ++i) {
            const int shuffledPosition = w * 113 + i;
            working[static_cast<std::size_t>(w * 113 + CodeShuffle[static_cast<std::size_t>(i)] - 1)] =
                shuffledPosition % 2 == 0 ? u'\u0010' : u'\u0008';
        }
    }
    return working;
}

class CodeRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CodeRefusal, ChangesNothing)
{
    CipherEngine fresh;
    EXPECT_EQ(fresh.BuildKeyTable(GetParam().code), CipherEngine::BuildResult::NoCode);
    EXPECT_FALSE(fresh.CodeEntered());
    EXPECT_EQ(fresh.CodeCheck(), CheckValue{});
    EXPECT_EQ(fresh.KeyTable(1), 0);

    CipherEngine used;
    used.BuildKeyTable(u"earlier code");
    const auto table = TableOf(used);
    const auto check = used.CodeCheck();
    EXPECT_EQ(used.BuildKeyTable(GetParam().code), CipherEngine::BuildResult::NoCode);
    EXPECT_TRUE(used.CodeEntered());
    EXPECT_EQ(TableOf(used), table);
    EXPECT_EQ(used.CodeCheck(), check);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, CodeRefusal,
    ::testing::Values(Refusal{"Empty", u""}, Refusal{"BlanksAndLineBreaks", u"  \r\n \n\r  "},
                      Refusal{"First13000CharactersBlank", Repeat(u" ", 13000) + u"secret"},
                      Refusal{"DigitsAllZero", AllZeroDigitsCode()},
                      Refusal{"NulCharactersGiveNoDigits", std::u16string(5, u'\0')}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(KeyTable, StepRuleWrapsAndAddsShortTails)
{
    CipherEngine engine;
    // Before any build every digit is 0, so every step is the replacement step 39.
    EXPECT_EQ(engine.stepCursor(749, std::nullopt), 788);
    EXPECT_EQ(engine.stepCursor(749, std::size_t(99)), 788 + 99);
    EXPECT_EQ(engine.stepCursor(749, std::size_t(100)), 788);
    EXPECT_EQ(engine.stepCursor(KeyTableHalf - 10, std::nullopt), 29);
    EXPECT_EQ(engine.stepCursor(KeyTableHalf, std::size_t(50)), 89);

    engine.BuildKeyTable(u"Veilshot");
    for (int c : {1, 749, KeyTableHalf - 77, KeyTableHalf}) {
        const int step = engine.KeyTable(c) * 10 + engine.KeyTable(c + 1);
        const int expected = c + (step == 0 ? 39 : step);
        EXPECT_EQ(engine.stepCursor(c, std::nullopt), expected > KeyTableHalf ? expected - KeyTableHalf : expected);
    }
}

}  // namespace
}  // namespace veilshot::cipher
