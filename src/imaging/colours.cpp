// Colours: pictures that say which colour space they are in are brought to the display's.

#include "imaging/decoding.h"

#include <QImageReader>

namespace veilshot::imaging {

namespace {

// The screen's colour space, set for the run by the ImagingLibrary and only read while it lives.
QColorSpace screenColours;

}  // namespace

ImagingLibrary::ImagingLibrary(const QByteArray &screenProfile)
{
    QImageReader::setAllocationLimit(AllocationLimitMB);
    // A profile Qt cannot use (or an sRGB one) leaves the display sRGB.
    const QColorSpace screen = screenProfile.isEmpty() ? QColorSpace() : QColorSpace::fromIccProfile(screenProfile);
    if (screen.isValid() && screen != QColorSpace(QColorSpace::SRgb))
        screenColours = screen;
}

ImagingLibrary::~ImagingLibrary()
{
    screenColours = QColorSpace();
}

QColorSpace DisplayColourSpace()
{
    return screenColours;
}

QImage InDisplayColours(QImage image, const QColorSpace &display)
{
    const QColorSpace target = display.isValid() ? display : QColorSpace(QColorSpace::SRgb);
    const QColorSpace own = image.colorSpace();
    if (!own.isValid() || own == target)
        return image;
    image.convertToColorSpace(target);
    return image;
}

}  // namespace veilshot::imaging
