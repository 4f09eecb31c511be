#pragma once
// JPEG decoding with libjpeg-turbo itself, reading the file as it goes rather than whole, at
// exactly the size a box needs: the library decodes at any n/8 of the picture's size directly,
// and the lines of the smallest of those that still fills the box are shrunk to it as they come,
// so a photo for the screen is held only at the size the screen shows it.

#include "imaging/common/decoded.h"

#include <QSize>

#include <cstdint>
#include <optional>
#include <span>

class QIODevice;

namespace veilshot::imaging {

// The fitting of `full` into `box`, rounded up; `full` when the box holds it whole.
QSize FittedSize(QSize full, QSize box);

// The n/8 scale (1..8) libjpeg decodes `full` at so that it still covers the fitting of `full`
// into `box` on both sides; 8 when the box holds the whole picture.
int JpegScaleFor(QSize full, QSize box);

// Decodes the JPEG read from `device`, from its start: for a `box` (upright) at the smallest
// n/8 scale that fills it, shrunk as it is decoded to its fitting into the box, turned upright as its EXIF orientation says, and tagged with the
// colour space of its ICC profile when it has one. Grey pictures come as 8-bit grey, CMYK ones
// as RGB. Data that ends early is shown as far as it goes, as Qt's reader does; a picture
// larger than MaxPixels or data the library cannot decode is refused.
Decoded DecodeJpeg(QIODevice &device, std::optional<QSize> box);
// The same from bytes in memory, read in place.
Decoded DecodeJpeg(std::span<const std::uint8_t> bytes, std::optional<QSize> box);

}  // namespace veilshot::imaging
