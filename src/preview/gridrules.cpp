#include "preview/gridrules.h"

#include "viewer/viewermodel.h"

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

int BatchSizeFor(int columns)
{
    columns = std::max(columns, 1);
    return columns * (BatchLimit / columns);
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

GridPager::Load GridPager::begin(PreviewFlags &flags, int count, int scrollBoxWidth)
{
    Load load;
    if (flags.PreviewKept) {
        load.kept = true;
        return load;
    }

    load.remaining = count;
    load.start = 0;
    if (flags.LoadStopped) {
        flags.LoadStopped = false;
        // Nothing left after the last batch: start over from the first photo, out of paging.
        // A list that has shrunk below NextStart starts over too.
        if (count - NextStart > 0) {
            load.remaining = count - NextStart;
            load.start = NextStart;
        } else {
            NextStart = 0;
            flags.PagingOn = false;
        }
    }
    GridBase = load.start;

    GridColumns = GridColumnsFor(scrollBoxWidth);
    load.rowsPerBatch = BatchLimit / GridColumns;
    BatchSize = GridColumns * load.rowsPerBatch;

    GridLayout &layout = load.layout;
    layout.start = load.start;
    if (load.remaining <= GridColumns) {
        layout.rows = 1;
        layout.columns = load.remaining;
        layout.remainder = 0;
    } else {
        layout.columns = GridColumns;
        layout.rows = load.remaining / GridColumns;
        layout.remainder = load.remaining % GridColumns;
        if (layout.remainder != 0)
            ++layout.rows;
    }
    return load;
}

bool GridPager::admit(PreviewFlags &flags, int cell, int row, bool stopKey)
{
    if (!stopKey && row <= BatchLimit / std::max(GridColumns, 1))
        return true;
    flags.LoadStopped = true;
    NextStart = GridBase + cell;
    return false;
}

void GridPager::finish(PreviewFlags &flags, int used, int next)
{
    DrawnCount = used;
    flags.PreviewKept = true;
    if (flags.PagingOn) {
        flags.LoadStopped = true;
        NextStart = next;
    }
}

bool GridPager::forward(PreviewFlags &flags, int count)
{
    if (count <= BatchLimit)
        return false;
    flags.PreviewKept = false;
    flags.PagingOn = true;
    return true;
}

bool GridPager::back(PreviewFlags &flags, int count)
{
    if (count <= BatchLimit || NextStart <= BatchSize)
        return false;
    // Back over this batch (DrawnCount) and the whole one before it.
    NextStart = std::max(NextStart - BatchSize - DrawnCount, 0);
    flags.PreviewKept = false;
    flags.PagingOn = true;
    return true;
}

int GridPager::lastCell(const PreviewFlags &flags, int count) const
{
    return flags.LoadStopped ? NextStart - GridBase - 1 : count - 1;
}

}  // namespace veilshot
