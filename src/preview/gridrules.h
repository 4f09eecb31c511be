#pragma once
// The thumbnail grid's rules without any window: its geometry, the fit of a thumbnail in its
// cell, which cell a point of the grid falls in, and the loading of a folder batch by batch.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace veilshot {

struct PreviewFlags;

inline constexpr int CellPitch = 220;   // frame and gap, both ways
inline constexpr int CellSize = 210;    // the frame
inline constexpr int GridMargin = 20;   // from the grid's top-left corner to the first frame
inline constexpr int ThumbnailBox = 206;
inline constexpr int BatchLimit = 84;   // the most cells one load fills

// GridColumns: (scroll box width - 40) div 220, at least 1.
int GridColumnsFor(int scrollBoxWidth);
// BatchSize: the cells of a full batch, columns x (84 div columns); fewer than 1 column counts
// as 1.
int BatchSizeFor(int columns);
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

// A preview's loading, batch by batch. The flags PreviewKept, LoadStopped and PagingOn live
// in the owner's model, which resets them; the rest lives here. The window asks `begin` where
// a load starts, then `admit` before each cell, and tells `finish` where it stopped.
class GridPager {
public:
    struct Load {
        bool kept = false;       // PreviewKept: nothing to load, the grid stays as it is
        int start = 0;           // index in the list of the first cell (GridBase)
        int remaining = 0;
        int rowsPerBatch = 0;
        GridLayout layout;
    };

    // Step 1 to 5 of a load of a list of `count` entries into a scroll box `scrollBoxWidth`
    // wide.
    Load begin(PreviewFlags &flags, int count, int scrollBoxWidth);

    // Before cell `cell` (0-based within this load) in `row` (1-based): false when the load
    // stops there, because Ctrl is held (`stopKey`) or the batch is full; then LoadStopped is
    // set and NextStart is the index of that cell.
    bool admit(PreviewFlags &flags, int cell, int row, bool stopKey);

    // After the load: `used` cells were drawn and `next` is the index after the last one.
    // Sets PreviewKept, DrawnCount, and in paging mode LoadStopped and NextStart.
    void finish(PreviewFlags &flags, int used, int next);

    // Load forward (B): true when a load is to run (the folder is longer than one load);
    // PreviewKept cleared, PagingOn set.
    bool forward(PreviewFlags &flags, int count);
    // Load back (N): true when a load is to run (longer than one load and past the first
    // batch); NextStart moves back to the start of the batch before this one.
    bool back(PreviewFlags &flags, int count);

    // The last cell of the current load, for picking.
    int lastCell(const PreviewFlags &flags, int count) const;

    int NextStart = 0;
    int GridBase = 0;
    int DrawnCount = 0;
    int BatchSize = 0;
    int GridColumns = 0;
};

}  // namespace veilshot
