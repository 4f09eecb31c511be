#pragma once
// PNG files written directly with zlib: each row filtered for photographs, and the picture
// deflated in independent strips on every core, joined with sync flushes into one zlib stream,
// so a large photo is written in a fraction of the time a one-thread writer takes. Grey, RGB and
// RGB with alpha, at 8 or 16 bits a channel, and colour indices with their palette, as the
// picture holds them.

#include "imaging/common/progress.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

namespace veilshot::imaging {

// What goes into the file beside the pixels: an ICC profile (iCCP), EXIF (eXIf, TIFF data from
// its byte-order mark) and XMP (iTXt "XML:com.adobe.xmp"); each only when not empty.
struct PngExtras {
    std::vector<std::uint8_t> icc;
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> xmp;
};

// The picture as a PNG file's bytes; empty when it cannot be encoded. An alpha channel that is
// opaque everywhere is left out. Reports the rows done to `progress` and throws WorkStopped
// when it is stopped.
QByteArray EncodePng(const QImage &image, const PngExtras &extras = {}, Progress *progress = nullptr);

}  // namespace veilshot::imaging
