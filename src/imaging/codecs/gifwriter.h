#pragma once
// GIF encoding with giflib: a picture of at most 256 colours keeps them exactly; one of more is
// reduced to a palette of 256 by libimagequant, with dithering. One colour is transparent
// where the picture has transparent pixels.

#include <QByteArray>
#include <QImage>


namespace veilshot::imaging {

// The encoded file; empty when giflib fails.
QByteArray EncodeGif(const QImage &image);

}  // namespace veilshot::imaging
