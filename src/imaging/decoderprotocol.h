#pragma once
// What the program and its decoder process exchange. The program starts
//     veilshot-decode FORMAT BOX_WIDTH BOX_HEIGHT
// (FORMAT the number of the Format, a box of 0 x 0 for the picture's own size) with the
// encoded bytes in a memory file on descriptor 3 and an empty memory file on descriptor 4.
// The decoder writes its Answer into the latter, followed, when it decoded, by width x height
// pixels of 32 bits, line after line without gaps.

#include "imaging.h"

#include <cstdint>

namespace veilshot::imaging::decoder {

inline constexpr int InputFd = 3;
inline constexpr int AnswerFd = 4;

inline constexpr std::uint32_t AnswerMagic = 0x31445356;  // "VSD1"

struct Answer {
    std::uint32_t magic = AnswerMagic;
    std::uint32_t refusal = 0;  // Refusal
    std::uint32_t alpha = 0;    // 1: QImage::Format_ARGB32_Premultiplied, 0: QImage::Format_RGB32
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t fullWidth = 0;  // the picture's own size, or the size it claims when too large
    std::int32_t fullHeight = 0;
    std::uint32_t reserved = 0;
};

// The decoder's own limits: address space (every mapping, the answer included), processor
// time (the program stops it sooner by the clock), and the largest answer.
inline constexpr std::uint64_t AddressSpaceLimit = std::uint64_t(3) << 30;
inline constexpr unsigned CpuSeconds = 30;
inline constexpr std::uint64_t AnswerLimit = sizeof(Answer) + std::uint64_t(MaxPixels) * 4;

}  // namespace veilshot::imaging::decoder
