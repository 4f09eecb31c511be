#pragma once
// Pixels that must not outlive their use: the pictures decoded from deciphered photos. They are
// held in buffers of our own, mapped apart from the heap and kept out of core dumps, which are
// wiped when the last image over them lets go; whatever shares them (a copy, the pixmap a label
// draws) keeps them alive until then, and the wipe follows it.

#include <QImage>

namespace veilshot::imaging {

// A picture of `size` and `format` over a wiped buffer, its pixels undefined. Null when the
// memory cannot be had.
QImage WipedImage(QSize size, QImage::Format format);

// `image`'s pixels in a wiped buffer, with its colour space and pixel ratio; where no other image
// shares the buffer they came from, that one is wiped as it goes. `wipeSource` false leaves it
// as it is (pixels mapped read-only from elsewhere, which no one writes). Null, with the source
// wiped, when the memory cannot be had.
QImage IntoWiped(QImage image, bool wipeSource = true);

// Overwrites `image`'s pixels where no other image shares them, then lets go of it.
void Wipe(QImage &image);

}  // namespace veilshot::imaging
