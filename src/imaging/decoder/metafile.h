#pragma once
// EMF and WMF pictures: converted to SVG by their libraries, then rendered with QtSvg.

#include "imaging/decoding.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <span>

namespace veilshot::imaging {

// Renders the metafile at its own size, or fitted into `box` when one is given. A null image
// with `refusal` set when the bytes are not a metafile that can be drawn.
QImage RenderMetafile(std::span<const std::uint8_t> bytes, bool enhanced, QSize box, qint64 maxPixels,
                      Refusal *refusal);

}  // namespace veilshot::imaging
