#pragma once
// EMF and WMF pictures: converted to SVG by their libraries, then rendered with QtSvg.

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <span>

namespace veilshot::imaging {

// Renders the metafile at its own size, or fitted into `box` when one is given. A null image
// with `reason` set when the bytes are not a metafile that can be drawn.
QImage RenderMetafile(std::span<const std::uint8_t> bytes, bool enhanced, QSize box, qint64 maxPixels,
                      QString *reason);

}  // namespace veilshot::imaging
