#pragma once
// What the program and its decoder processes exchange. The program starts
//     veilshot-decode FORMAT BOX_WIDTH BOX_HEIGHT        (metafiles, and Qt's readers)
//     veilshot-decode-photo FORMAT BOX_WIDTH BOX_HEIGHT  (HEIF, AVIF, WebP, JPEG XL; no Qt)
// (FORMAT the number of the Format, a box of 0 x 0 for the picture's own size) with a memory
// file for the encoded bytes on descriptor 3, an empty memory file on descriptor 4 and the
// reading end of a pipe on descriptor 5. The program writes the bytes while the decoder starts,
// seals them and closes its end of the pipe; the decoder reads them once that end is closed
// and they are sealed. The decoder writes its Answer into the second file, followed, when it decoded, by the pixels, line
// after line, each line padded to whole 32-bit words, and then by the ICC profile of the
// pixels' colour space when they have one.
//
// Plain numbers only: the photo decoder links no Qt. The program checks that they agree with
// its own (contained.cpp).

#include "imaging/common/refusal.h"

#include <cstddef>
#include <cstdint>

namespace veilshot::imaging::decoder {

inline constexpr int InputFd = 3;
inline constexpr int AnswerFd = 4;
inline constexpr int ReadyFd = 5;

inline constexpr std::uint32_t AnswerMagic = 0x32445356;  // "VSD2"

// The formats the photo decoder takes, by their numbers in Format.
enum class PhotoFormat : int { Heif = 9, Avif = 10, WebP = 11, Jxl = 12 };

// The pixel layouts an answer may take: no colour table, whole bytes per pixel, each a layout
// of QImage (contained.cpp pairs them). 32-bit pixels are words 0xAARRGGBB in the machine's
// order; 64-bit ones four 16-bit samples R, G, B, A.
enum class Layout : std::uint32_t {
    Rgb32,  // alpha 0xFF
    Argb32,
    Argb32Premultiplied,
    Rgbx64,  // alpha 0xFFFF
    Rgba64,
    Rgba64Premultiplied,
    Grey8,
    Grey16,
};
inline constexpr Layout LastLayout = Layout::Grey16;

inline constexpr int BitsPerPixel(Layout layout)
{
    switch (layout) {
    case Layout::Rgbx64:
    case Layout::Rgba64:
    case Layout::Rgba64Premultiplied: return 64;
    case Layout::Grey8: return 8;
    case Layout::Grey16: return 16;
    default: return 32;
    }
}

// A HEIF's coded colour description: primaries and transfer as the ITU-T H.273 code points
// give them (2: unspecified), the primaries' chromaticities alongside.
struct CodedColours {
    std::int32_t primaries = 2;
    std::int32_t transfer = 2;
    float white[2] = {0.3127f, 0.3290f};
    float red[2] = {0.64f, 0.33f}, green[2] = {0.30f, 0.60f}, blue[2] = {0.15f, 0.06f};
};

struct Answer {
    std::uint32_t magic = AnswerMagic;
    std::uint32_t refusal = 0;  // Refusal
    std::uint32_t layout = 0;   // Layout
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t fullWidth = 0;  // the picture's own size, or the size it claims when too large
    std::int32_t fullHeight = 0;
    std::uint32_t profileBytes = 0;  // the length of the ICC profile after the pixels
    CodedColours colours;            // when there is no profile
};
// The pixels follow it, aligned for their widest samples.
static_assert(sizeof(Answer) % 8 == 0);

inline constexpr std::size_t AnswerLineBytes(int width, int bitsPerPixel)
{
    return (std::size_t(width) * std::size_t(bitsPerPixel) / 8 + 3) & ~std::size_t(3);
}

// Pictures larger than this many pixels are refused (MaxPixels).
inline constexpr std::int64_t PixelsLimit = 250'000'000;

// The most pixel bytes an answer holds: the decoders' allocation limit, which the largest
// metafile drawing (PixelsLimit of 32 bits) also stays within.
inline constexpr std::uint64_t PixelBytesLimit = std::uint64_t(1) << 30;
static_assert(std::uint64_t(PixelsLimit) * 4 <= PixelBytesLimit);

// The largest colour profile an answer holds; photos' profiles take a few kilobytes.
inline constexpr std::uint32_t ProfileBytesLimit = std::uint32_t(1) << 22;

// The decoders' own limits: address space (every mapping, the answer included), processor
// time (the program stops them sooner by the clock), and the size of the answer.
inline constexpr std::uint64_t AddressSpaceLimit = std::uint64_t(3) << 30;
inline constexpr unsigned CpuSeconds = 30;
inline constexpr std::uint64_t AnswerLimit = sizeof(Answer) + PixelBytesLimit + ProfileBytesLimit;

}  // namespace veilshot::imaging::decoder
