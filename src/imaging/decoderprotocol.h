#pragma once
// What the program and its decoder process exchange. The program starts
//     veilshot-decode FORMAT BOX_WIDTH BOX_HEIGHT
// (FORMAT the number of the Format, a box of 0 x 0 for the picture's own size) with the
// encoded bytes in a memory file on descriptor 3 and an empty memory file on descriptor 4.
// The decoder writes its Answer into the latter, followed, when it decoded, by the pixels, line
// after line, each line padded to whole 32-bit words, and then by the ICC profile of the
// pixels' colour space when they have one.

#include "imaging/imaging.h"

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace veilshot::imaging::decoder {

inline constexpr int InputFd = 3;
inline constexpr int AnswerFd = 4;

inline constexpr std::uint32_t AnswerMagic = 0x31445356;  // "VSD1"

struct Answer {
    std::uint32_t magic = AnswerMagic;
    std::uint32_t refusal = 0;  // Refusal
    std::uint32_t format = 0;   // a QImage::Format of AnswerFormats
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t fullWidth = 0;  // the picture's own size, or the size it claims when too large
    std::int32_t fullHeight = 0;
    std::uint32_t profileBytes = 0;  // the length of the ICC profile after the pixels
};

// The pixel layouts an answer may take: no colour table, whole bytes per pixel. Others are
// converted to 32 bits.
inline constexpr QImage::Format AnswerFormats[] = {
    QImage::Format_RGB32,  QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBX64,
    QImage::Format_RGBA64, QImage::Format_RGBA64_Premultiplied, QImage::Format_Grayscale8, QImage::Format_Grayscale16};

inline std::size_t AnswerLineBytes(int width, int bitsPerPixel)
{
    return (std::size_t(width) * std::size_t(bitsPerPixel) / 8 + 3) & ~std::size_t(3);
}

// The most pixel bytes an answer holds: the decoders' allocation limit, which the largest
// metafile drawing (MaxPixels of 32 bits) also stays within.
inline constexpr std::uint64_t PixelBytesLimit = std::uint64_t(1) << 30;
static_assert(std::uint64_t(MaxPixels) * 4 <= PixelBytesLimit);

// The largest colour profile an answer holds; photos' profiles take a few kilobytes.
inline constexpr std::uint32_t ProfileBytesLimit = std::uint32_t(1) << 22;

// The decoder's own limits: address space (every mapping, the answer included), processor
// time (the program stops it sooner by the clock), and the size of the answer.
inline constexpr std::uint64_t AddressSpaceLimit = std::uint64_t(3) << 30;
inline constexpr unsigned CpuSeconds = 30;
inline constexpr std::uint64_t AnswerLimit = sizeof(Answer) + PixelBytesLimit + ProfileBytesLimit;

}  // namespace veilshot::imaging::decoder
