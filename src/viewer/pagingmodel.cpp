#include "viewer/pagingmodel.h"

#include <algorithm>

namespace veilshot {

int BatchSizeFor(int columns)
{
    columns = std::max(columns, 1);
    return columns * (BatchLimit / columns);
}

PagingModel::PagingModel(QObject *parent)
    : QObject(parent)
{
}

template <typename Change>
void PagingModel::update(Change change)
{
    const State before = s_;
    change(s_);
    if (!(s_ == before))
        emit changed();
}

PagingModel::Start PagingModel::begin(int count, int columns)
{
    if (s_.kept)
        return {.kept = true};
    Start start{.remaining = count};
    update([&](State &s) {
        if (s.stopped) {
            s.stopped = false;
            // Nothing left after the last batch, or a list that has shrunk below NextStart:
            // start over from the first photo, out of paging.
            if (count - s.nextStart > 0) {
                start.remaining = count - s.nextStart;
                start.start = s.nextStart;
            } else {
                s.nextStart = 0;
                s.pagingOn = false;
            }
        }
        s.gridBase = start.start;
        s.columns = std::max(columns, 1);
        s.batchSize = BatchSizeFor(s.columns);
    });
    return start;
}

bool PagingModel::admit(int cell, int row, bool stopKey)
{
    if (!stopKey && row <= rowsPerBatch())
        return true;
    update([&](State &s) {
        s.stopped = true;
        s.nextStart = s.gridBase + cell;
    });
    return false;
}

void PagingModel::finish(int used)
{
    update([&](State &s) {
        s.drawnCount = used;
        s.kept = true;
        if (s.pagingOn) {
            s.stopped = true;
            s.nextStart = s.gridBase + used;
        }
    });
}

bool PagingModel::forward(int count)
{
    if (count <= BatchLimit)
        return false;
    update([](State &s) {
        s.kept = false;
        s.pagingOn = true;
    });
    return true;
}

bool PagingModel::back(int count)
{
    if (count <= BatchLimit || s_.nextStart <= s_.batchSize)
        return false;
    update([](State &s) {
        // Back over this batch (DrawnCount) and the whole one before it.
        s.nextStart = std::max(s.nextStart - s.batchSize - s.drawnCount, 0);
        s.kept = false;
        s.pagingOn = true;
    });
    return true;
}

int PagingModel::lastCell(int count) const
{
    return s_.stopped ? s_.nextStart - s_.gridBase - 1 : count - 1;
}

bool PagingModel::folderOpened(bool several)
{
    const bool outdated = s_.kept;
    update([&](State &s) {
        if (several) {
            s.pagingOn = false;
            s.stopped = false;
        }
        s.kept = false;
    });
    return outdated;
}

void PagingModel::clearKept()
{
    update([](State &s) { s.kept = false; });
}

void PagingModel::reset()
{
    update([](State &s) { s = {}; });
}

}  // namespace veilshot
