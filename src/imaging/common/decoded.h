#pragma once
// What a decoder gives, in this process or in a decoder process: the picture, upright, with its
// own size, or the reason there is none.

#include "imaging/common/refusal.h"

#include <QImage>
#include <QImageIOHandler>
#include <QSize>

namespace veilshot::imaging {

struct Decoded {
    QImage image;
    QSize fullSize;  // the picture's own size, upright
    Refusal refusal = Refusal::None;
    QSize claimedSize;  // for TooLargeSized
};

// A decode that gives no picture, for `refusal` (with the size a picture claimed, for
// TooLargeSized).
Decoded Refused(Refusal refusal, QSize claimed = {});

// The picture made upright by the turn and mirror its file names (mirrored first, then turned a
// quarter right), keeping its colour space, which Qt's own turning drops.
QImage Upright(QImage image, QImageIOHandler::Transformations turns);

}  // namespace veilshot::imaging
