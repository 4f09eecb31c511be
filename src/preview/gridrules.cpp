#include "preview/gridrules.h"

#include <algorithm>
#include <cmath>

namespace veilshot {

namespace {

// The frame's inner square starts this far inside each edge.
constexpr int FrameInset = (CellSize - ThumbnailBox) / 2;

// The shorter side of a thumbnail: 206 divided by the ratio of the longer side to the shorter,
// halves to even. Dividing by the ratio (rather than multiplying by its inverse) matters: it
// decides the last bit, and with it ties such as 412 x 203.
int ShorterSide(int longer, int shorter)
{
    return int(std::nearbyint(ThumbnailBox / (double(longer) / double(shorter))));
}

}  // namespace

int GridColumnsFor(int scrollBoxWidth)
{
    return std::max((scrollBoxWidth - 2 * GridMargin) / CellPitch, 1);
}

QRect CellFrame(int cell, int columns)
{
    columns = std::max(columns, 1);
    return QRect(GridMargin + CellPitch * (cell % columns), GridMargin + CellPitch * (cell / columns), CellSize,
                 CellSize);
}

QRect ThumbnailRect(QSize picture, const QRect &frame, ThumbnailFit fit)
{
    const int w = picture.width(), h = picture.height();
    if (w <= 0 || h <= 0)
        return QRect();
    const int left = frame.x(), top = frame.y();
    if (w == h)
        return QRect(left + FrameInset, top + FrameInset, ThumbnailBox, ThumbnailBox);

    const bool landscape = w > h;
    const int side = landscape ? ShorterSide(w, h) : ShorterSide(h, w);
    const int inset = (CellSize - side) / 2;
    // Stretched from the inset to the same inset from the far edge, an odd room leaves the
    // thumbnail a pixel longer than its computed side.
    const int length = fit == ThumbnailFit::Exact ? side : CellSize - 2 * inset;
    if (landscape)
        return QRect(left + FrameInset, top + inset, ThumbnailBox, length);
    return QRect(left + inset, top + FrameInset, length, ThumbnailBox);
}

int CellAt(QPoint point, int columns, int lastCell, int scrollTop)
{
    // A pointer counts from one pixel inside the first frame's left and top edges (21, 21 of
    // the visible client area) to the end of the last column's pitch square, the gap after the
    // frame included. Within that, the pitch squares measured from (20, 20) give row and
    // column; the offsets are then positive, so div is the floor.
    const int x = point.x() - GridMargin;
    const int y = point.y() - GridMargin;
    if (point.x() < GridMargin + 1 || point.y() - scrollTop < GridMargin + 1 || columns < 1
        || x >= columns * CellPitch)
        return -1;
    const int cell = (y / CellPitch) * columns + x / CellPitch;
    return cell <= lastCell ? cell : -1;
}

QString CounterText(int count, int nextStart)
{
    const int rest = count > BatchLimit ? count - nextStart : 0;
    return QStringLiteral("%1-%2").arg(count).arg(rest);
}

GridLayout LayoutFor(int remaining, int columns, int start)
{
    columns = std::max(columns, 1);
    GridLayout layout{.start = start};
    if (remaining <= columns) {
        layout.rows = 1;
        layout.columns = remaining;
        return layout;
    }
    layout.columns = columns;
    layout.rows = remaining / columns;
    layout.remainder = remaining % columns;
    if (layout.remainder != 0)
        ++layout.rows;
    return layout;
}

int GridHeightFor(const GridLayout &layout, int rowsPerBatch, int viewHeight)
{
    const int rows = std::min(layout.rows, rowsPerBatch);
    return std::max(viewHeight, rows * CellPitch + 2 * GridMargin);
}

}  // namespace veilshot
