#include "imaging/common/decoded.h"

#include "imaging/common/wipedimage.h"

#include <QColorSpace>
#include <QTransform>

namespace veilshot::imaging {

Decoded Refused(Refusal refusal, QSize claimed)
{
    Decoded decoded;
    decoded.refusal = refusal;
    decoded.claimedSize = claimed;
    return decoded;
}

QImage Upright(QImage image, QImageIOHandler::Transformations turns)
{
    if (turns == QImageIOHandler::TransformationNone)
        return image;
    const QColorSpace colours = image.colorSpace();
    image.mirror(turns & QImageIOHandler::TransformationMirror, turns & QImageIOHandler::TransformationFlip);
    if (turns & QImageIOHandler::TransformationRotate90) {
        QImage turned = image.transformed(QTransform().rotate(90));
        Wipe(image);  // the pixels may be a deciphered photo's
        image = std::move(turned);
    }
    image.setColorSpace(colours);
    return image;
}

}  // namespace veilshot::imaging
