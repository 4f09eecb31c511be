#pragma once
// TIFF files of 16 bits a channel written directly: LZW after the horizontal predictor, which
// Qt's TIFF writer does not apply. Without the predictor, LZW finds almost nothing to repeat in
// the noisy low bytes of deep samples, and a compressed photo comes out several times larger
// than the one it was read from, larger even than uncompressed.

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <vector>

namespace veilshot::imaging {

// Whether the picture holds more than 8 bits a channel (the pictures EncodeDeepTiff writes).
bool IsDeep(const QImage &image);

// The picture as a TIFF file's bytes: grey, RGB or RGB with unassociated alpha at 16 bits a
// sample, in strips compressed with LZW after the horizontal predictor, with `icc` as its
// profile when not empty. Empty when the picture is not deep.
QByteArray EncodeDeepTiff(const QImage &image, const std::vector<std::uint8_t> &icc);

}  // namespace veilshot::imaging
