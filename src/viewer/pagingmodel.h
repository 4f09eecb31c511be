#pragma once
// A viewer's thumbnail preview, paged batch by batch through the viewer's folder: whether the
// grid shown is current, where the next load starts and what the last one drew. One per
// viewer, in its model, and the only writer of that state: the preview asks it where each load
// starts and tells it where the load stopped, the owner viewer resets it when its folder
// changes; whatever shows the state (the preview's counter) follows `changed`.

#include <QObject>

namespace veilshot {

inline constexpr int BatchLimit = 84;  // the most cells one load fills

// The cells of a full batch for a grid of `columns`: columns x (84 div columns); fewer than 1
// column counts as 1.
int BatchSizeFor(int columns);

class PagingModel : public QObject {
    Q_OBJECT
public:
    explicit PagingModel(QObject *parent = nullptr);

    // Where a load starts, in the list: nothing is loaded while the grid is kept.
    struct Start {
        bool kept = false;
        int start = 0;      // the list index of the first cell
        int remaining = 0;  // the entries from there to the end of the list
    };

    bool kept() const { return s_.kept; }          // PreviewKept: showing the preview loads nothing
    bool stopped() const { return s_.stopped; }    // LoadStopped: the last load ended before the list did
    bool pagingOn() const { return s_.pagingOn; }  // PagingOn: loading forward or back
    int nextStart() const { return s_.nextStart; }    // NextStart: where the next load begins
    int gridBase() const { return s_.gridBase; }      // GridBase: the list index of the first cell
    int drawnCount() const { return s_.drawnCount; }  // DrawnCount: the cells the last load drew
    int columns() const { return s_.columns; }        // GridColumns of the last load
    int batchSize() const { return s_.batchSize; }    // BatchSize of the last load
    int rowsPerBatch() const { return BatchLimit / s_.columns; }

    // A load of a list of `count` entries into a grid of `columns`: where it starts (at
    // NextStart after a stopped load; from the first photo when that load reached the end of
    // the list, or the list has shrunk below it, which ends paging), and the batch's size.
    Start begin(int count, int columns);
    // Before cell `cell` (0-based within the load) in `row` (1-based): false when the load
    // stops there, because Ctrl is held (`stopKey`) or the batch is full; the load is then
    // stopped with NextStart at that cell.
    bool admit(int cell, int row, bool stopKey);
    // After the load, which drew `used` cells: the grid is kept; while paging, the next load
    // starts after the last cell drawn.
    void finish(int used);

    // Load forward (B): true when a load is to run (the folder is longer than one load).
    bool forward(int count);
    // Load back (N): true when a load is to run (longer than one load and past the first
    // batch); the next load starts at the batch before this one.
    bool back(int count);

    // The last cell of the current load that picking reaches.
    int lastCell(int count) const;

    // The owner opened another folder: a new folder of several photos is no longer paged
    // through. True when a kept grid was thereby outdated.
    bool folderOpened(bool several);
    // The grid was cleared: the next showing loads anew.
    void clearKept();
    // A viewer made anew: no grid, no paging.
    void reset();

signals:
    void changed();

private:
    struct State {
        bool kept = false;
        bool stopped = false;
        bool pagingOn = false;
        int nextStart = 0;
        int gridBase = 0;
        int drawnCount = 0;
        int columns = 1;
        int batchSize = 0;
        friend bool operator==(const State &, const State &) = default;
    };
    // Every change goes through here, and is told once.
    template <typename Change>
    void update(Change change);

    State s_;
};

}  // namespace veilshot
