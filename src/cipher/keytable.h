#pragma once
// The key table's making: from the code's characters to 122880 digits 0..7.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veilshot::cipher {

inline constexpr int KeyTableHalf = 122880;            // distinct positions 1..122880
inline constexpr int KeyTableSize = 2 * KeyTableHalf;  // the second half repeats the first
inline constexpr std::size_t CodeReadLimit = 13000;    // characters of the code that are read

// The 113-entry shuffle applied to each 113-character window of the code (1-based positions).
extern const std::array<std::uint8_t, 113> CodeShuffle;

// The code as it counts: its first CodeReadLimit characters without blanks and line breaks.
std::u16string CountedCode(std::u16string_view code);

// Fills `half` (KeyTableHalf digits) from the counted code. False when the code gives no table
// (it is empty, or its digits cannot give a round count); `half` is then left as it was.
bool BuildDigits(std::u16string_view counted, std::uint8_t *half);

}  // namespace veilshot::cipher
