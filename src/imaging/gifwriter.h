#pragma once
// GIF encoding with giflib: the picture reduced to a palette of 256 colours (median cut, with
// error diffusion), one of them transparent where the picture has transparent pixels.

#include <QByteArray>
#include <QImage>

#include <vector>

namespace veilshot::imaging {

// The encoded file; empty when giflib fails.
QByteArray EncodeGif(const QImage &image);

// The palette (as 0xAARRGGBB, alpha unused) for the opaque pixels of `image`: the exact
// colours when there are at most `maxColours` (then `exact` is set), else a median-cut
// reduction. `image` is in Format_ARGB32.
std::vector<QRgb> ChoosePalette(const QImage &image, int maxColours, bool *exact);

}  // namespace veilshot::imaging
