#include "cipher/keytable.h"

#include "files/fileio.h"
#include "files/securememory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <vector>

namespace veilshot::cipher {

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

}  // namespace

std::u16string CountedCode(std::u16string_view code)
{
    code = code.substr(0, std::min(code.size(), CodeReadLimit));
    std::u16string counted;
    counted.reserve(code.size());
    for (char16_t ch : code) {
        if (ch != u' ' && ch != u'\r' && ch != u'\n')
            counted.push_back(ch);
    }
    return counted;
}

bool BuildDigits(std::u16string_view counted, std::uint8_t *half)
{
    if (counted.empty())
        return false;

    // The first 7910 characters, the code repeated end to end as often as needed, then
    // shuffled window by window.
    std::u16string shuffled(WorkingLength, u'\0');
    for (int w = 0; w < WindowCount; ++w) {
        for (int i = 0; i < WindowLength; ++i) {
            const std::size_t source = static_cast<std::size_t>(w * WindowLength + CodeShuffle[i] - 1);
            shuffled[static_cast<std::size_t>(w * WindowLength + i)] = counted[source % counted.size()];
        }
    }

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
        return false;

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
            return false;
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

    std::copy(r.begin(), r.end(), half);
    Wipe(r);
    return true;
}

}  // namespace veilshot::cipher
