#pragma once
// Inside the imaging operations: decoding to a result that says why it failed, in this process
// or in a decoder process (contained/contained.h), the checks that refuse hostile bytes before
// any library sees them, and the display's colours.

#include "imaging/common/decoded.h"
#include "imaging/contained/contained.h"
#include "imaging/imaging.h"

#include <QColorSpace>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <optional>
#include <span>

namespace veilshot::imaging {

// The name of the format for Qt's image readers and writers (BMP, JPEG, PNG, GIF, TIFF, ICO,
// WebP); empty for the formats Qt has no reader for.
QByteArray QtFormatName(Format format);

// The text shown for a refusal of a picture in `format`.
QString RefusalText(const Decoded &decoded, Format format);

// Decodes BMP, JPEG, PNG, GIF, TIFF, ICO and WebP with Qt's readers, in this process. The image
// carries the colour space of the profile the file embeds, if any.
Decoded DecodeRaster(std::span<const std::uint8_t> bytes, Format format, std::optional<QSize> box);

// Whether every chunk of the PNG, up to its end chunk, fits in the bytes: libpng allocates
// what a chunk claims before it reads it.
bool PngChunksFit(std::span<const std::uint8_t> bytes);

// Whether every record of the EMF, up to its end record, is one the format defines and fits in
// the bytes: the converter trusts each record's type and size, and reads as far as they say.
bool EmfRecordsFit(std::span<const std::uint8_t> bytes);

// The most pixels a GIF of `bytes` can fill: each LZW code stands for at most 4096 of them and
// takes at least two bits. Its reader makes the whole canvas the header claims, so a few bytes
// claiming a vast canvas are refused; a canvas of up to 16 MP always passes.
qint64 GifPixelsBound(std::size_t bytes);

// Brings the colours of `image` to `display` (sRGB when invalid) when the image carries a
// colour space of its own that differs; an image without one is sRGB and comes back untouched.
QImage InDisplayColours(QImage image, const QColorSpace &display);

// The display's colour space for this run: the screen's profile the ImagingLibrary was given,
// else invalid (sRGB).
QColorSpace DisplayColourSpace();

}  // namespace veilshot::imaging
