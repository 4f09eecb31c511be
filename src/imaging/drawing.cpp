// Drawing: blank bitmaps, surfaces set for smooth drawing, and pictures stretched or turned
// onto them.

#include "imaging/imaging.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>

namespace veilshot::imaging {

QImage BlankBitmap(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

std::unique_ptr<QPainter> Surface(QPaintDevice &target)
{
    auto painter = std::make_unique<QPainter>(&target);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setRenderHint(QPainter::Antialiasing);
    return painter;
}

QImage StretchedTo(const QImage &source, QSize size)
{
    if (source.isNull() || size.isEmpty())
        return {};
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void DrawScaled(QPainter &surface, const QImage &source, const QRect &target)
{
    surface.drawImage(target, source);
}

void DrawTurned(QPainter &surface, const QImage &source, const QPoint &topLeft, const QPoint &topRight,
                const QPoint &bottomLeft)
{
    if (source.isNull())
        return;
    const int w = source.width();
    const int h = source.height();
    const QPoint u = topRight - topLeft;   // where the top edge goes
    const QPoint v = bottomLeft - topLeft;  // where the left edge goes

    int angle = -1;
    if (u == QPoint(w, 0) && v == QPoint(0, h))
        angle = 0;
    else if (u == QPoint(0, w) && v == QPoint(-h, 0))
        angle = 90;
    else if (u == QPoint(-w, 0) && v == QPoint(0, -h))
        angle = 180;
    else if (u == QPoint(0, -w) && v == QPoint(h, 0))
        angle = 270;
    if (angle >= 0) {
        // Quarter turns: whole-pixel moves, right: (x, y) -> (h - 1 - y, x).
        const QImage turned = angle == 0 ? source : source.transformed(QTransform().rotate(angle));
        const QPoint origin(topLeft.x() + std::min(0, u.x()) + std::min(0, v.x()),
                            topLeft.y() + std::min(0, u.y()) + std::min(0, v.y()));
        surface.drawImage(origin, turned);
        return;
    }
    surface.save();
    surface.setTransform(QTransform(double(u.x()) / w, double(u.y()) / w, double(v.x()) / h, double(v.y()) / h,
                                    topLeft.x(), topLeft.y()),
                         true);
    surface.drawImage(QPoint(0, 0), source);
    surface.restore();
}

}  // namespace veilshot::imaging
