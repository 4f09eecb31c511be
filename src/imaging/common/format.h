#pragma once
// The formats pictures come in, and the limits every decoder keeps to, whatever a file claims.

#include <QtGlobal>

namespace veilshot::imaging {

enum class Format { Unknown, Bmp, Jpeg, Png, Gif, Tiff, Ico, Emf, Wmf, Heif, Avif, WebP, Jxl };
inline constexpr Format LastFormat = Format::Jxl;

// The most memory Qt's readers may take for one picture, in MB; also the largest file read.
inline constexpr int AllocationLimitMB = 1024;

// Pictures larger than this many pixels are refused (decompression bombs).
inline constexpr qint64 MaxPixels = 250'000'000;

}  // namespace veilshot::imaging
