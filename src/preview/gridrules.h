#pragma once
// The thumbnail grid's rules without any window: its geometry, the fit of a thumbnail in its
// cell, which cell a point of the grid falls in, and the rows of a load. Where loads start and
// stop as the folder is paged through batch by batch: viewer/pagingmodel.h.

#include "viewer/pagingmodel.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace veilshot {

inline constexpr int CellPitch = 220;   // frame and gap, both ways
inline constexpr int CellSize = 210;    // the frame
inline constexpr int GridMargin = 20;   // from the grid's top-left corner to the first frame
inline constexpr int ThumbnailBox = 206;

// GridColumns: (scroll box width - 40) div 220, at least 1.
int GridColumnsFor(int scrollBoxWidth);
// BatchLimit and BatchSizeFor, the batch's size: viewer/pagingmodel.h.
// The frame of cell k (row by row): from (20 + 220c, 20 + 220r), 210 x 210.
QRect CellFrame(int cell, int columns);

// How a picture of `picture` pixels lies in the frame `frame` (210 x 210): 206 on its longer
// side, the other side 206 divided by the ratio, rounded half to even, centred with the inset
// (210 - side) div 2. Exact: that size. StretchedInset: the rectangle from the inset to the
// inset from the far edge, one pixel longer when 210 - side is odd. An empty picture gives an
// empty rectangle: nothing to draw.
enum class ThumbnailFit { Exact, StretchedInset };
QRect ThumbnailRect(QSize picture, const QRect &frame, ThumbnailFit fit);

// The rows of a load (rows, cells in a full row, cells in a short last row or 0, first index).
struct GridLayout {
    int rows = 0;
    int columns = 0;
    int remainder = 0;
    int start = 0;
    friend bool operator==(const GridLayout &, const GridLayout &) = default;
};

// The cell of the current load under `point` (grid coordinates: the picture's own, scrolling
// included): the cell whose 220 x 220 pitch square, measured from (20, 20), holds it; the gap
// right of and below a frame belongs to that frame's cell. -1 outside the columns, left of or
// above the first cells, or past `lastCell`. A point closer than 21 pixels to the left edge or
// to the top of the visible part picks nothing either; `scrollTop` is the grid's y at the top
// of the view (the scroll position), 0 when the grid is not scrolled.
int CellAt(QPoint point, int columns, int lastCell, int scrollTop = 0);

// The counter under the grid: count, "-", and what remains after this batch when the folder
// is longer than one load (else 0): "200-120".
QString CounterText(int count, int nextStart);

// The rows of a load of `remaining` entries from list index `start` into a grid of `columns`:
// a single short row when they fit in one row, else full rows and a short last one for what is
// left over. The whole rest of the list: a load stops at the batch's end (see PagingModel).
GridLayout LayoutFor(int remaining, int columns, int start);

// The height of the grid picture of a load in a view `viewHeight` high: the rows the load can
// draw, one batch at most whatever the length of the list, with the margins; never less than
// the view.
int GridHeightFor(const GridLayout &layout, int rowsPerBatch, int viewHeight);

}  // namespace veilshot
