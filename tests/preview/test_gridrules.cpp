// The thumbnail grid without a window: geometry, thumbnail fit, picking, the counter, and
// loading a folder batch by batch the way the preview window drives it.

#include "preview/gridrules.h"
#include "viewer/pagingmodel.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace veilshot {
namespace {

// A scroll box width that gives `columns` columns.
constexpr int WidthFor(int columns) { return 2 * GridMargin + CellPitch * columns + 100; }

template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row> &info)
{
    return info.param.name;
}

struct Columns {
    const char *name;
    int scrollBoxWidth;
    int expected;
    friend std::ostream &operator<<(std::ostream &os, const Columns &r) { return os << r.name; }
};

class GridColumnsTable : public ::testing::TestWithParam<Columns> {};

TEST_P(GridColumnsTable, CountsWholePitchesInsideTheMargins)
{
    EXPECT_EQ(GridColumnsFor(GetParam().scrollBoxWidth), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, GridColumnsTable,
                         ::testing::Values(Columns{"OnePitchShort", 479, 1}, Columns{"ExactlyTwoPitches", 480, 2},
                                           Columns{"FullHdScreen", 1920, 8}, Columns{"NarrowerThanOneCell", 100, 1},
                                           Columns{"NarrowerThanTheMargins", 30, 1}),
                         RowName<Columns>);

struct Batch {
    const char *name;
    int columns;
    int expected;
    friend std::ostream &operator<<(std::ostream &os, const Batch &r) { return os << r.name; }
};

class BatchSizeTable : public ::testing::TestWithParam<Batch> {};

TEST_P(BatchSizeTable, FillsWholeRowsUpToTheLimit)
{
    EXPECT_EQ(BatchSizeFor(GetParam().columns), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, BatchSizeTable,
                         ::testing::Values(Batch{"OneColumn", 1, 84}, Batch{"FiveColumns", 5, 80},
                                           Batch{"SevenColumnsDivideTheLimit", 7, 84}, Batch{"EightColumns", 8, 80},
                                           Batch{"NineColumns", 9, 81}, Batch{"OneRowOfTheLimit", 84, 84}),
                         RowName<Batch>);

TEST(CellFrame, RunsRowByRowAtThePitch)
{
    EXPECT_EQ(CellFrame(0, 5), QRect(20, 20, 210, 210));
    EXPECT_EQ(CellFrame(7, 5), QRect(460, 240, 210, 210));
}

struct Fit {
    const char *name;
    QSize picture;
    ThumbnailFit fit;
    QRect expected;
    friend std::ostream &operator<<(std::ostream &os, const Fit &r) { return os << r.name; }
};

class ThumbnailRectTable : public ::testing::TestWithParam<Fit> {};

TEST_P(ThumbnailRectTable, FitsTheInnerSquareCentred)
{
    // The frame of cell 1 of a row, so that the frame's corner is not the origin.
    EXPECT_EQ(ThumbnailRect(GetParam().picture, QRect(240, 20, 210, 210), GetParam().fit), GetParam().expected);
}

constexpr auto Exact = ThumbnailFit::Exact;
constexpr auto Stretched = ThumbnailFit::StretchedInset;

// 206 / (400 / 300) = 154.5 and 206 / (400 / 100) = 51.5 round to the even neighbours.
// 206 / (412 / 203) is a hair below 101.5 in double precision, so 101 (odd), inset 54; the
// stretched rectangle, 54 in from both edges, is 102 long.
INSTANTIATE_TEST_SUITE_P(
    Rows, ThumbnailRectTable,
    ::testing::Values(Fit{"LandscapeHalfRoundsDownToEven", {400, 300}, Exact, {242, 48, 206, 154}},
                      Fit{"LandscapeEvenRoomStretchesToTheSameSize", {400, 300}, Stretched, {242, 48, 206, 154}},
                      Fit{"PortraitHalfRoundsDownToEven", {300, 400}, Exact, {268, 22, 154, 206}},
                      Fit{"HalfRoundsUpToEven", {400, 100}, Exact, {242, 99, 206, 52}},
                      Fit{"SquareFillsTheBox", {500, 500}, Exact, {242, 22, 206, 206}},
                      Fit{"SquareStretchedFillsTheBox", {31, 31}, Stretched, {242, 22, 206, 206}},
                      Fit{"DividesByTheRatio", {412, 203}, Exact, {242, 74, 206, 101}},
                      Fit{"OddRoomStretchesOnePixelTaller", {412, 203}, Stretched, {242, 74, 206, 102}},
                      Fit{"PortraitDividesByTheRatio", {203, 412}, Exact, {294, 22, 101, 206}},
                      Fit{"OddRoomStretchesOnePixelWider", {203, 412}, Stretched, {294, 22, 102, 206}},
                      Fit{"EmptyPicture", {0, 0}, Exact, QRect()}),
    RowName<Fit>);

struct Pick {
    const char *name;
    QPoint point;
    int expected;
    int lastCell = 79;
    int scrollTop = 0;
    friend std::ostream &operator<<(std::ostream &os, const Pick &r) { return os << r.name; }
};

class CellAtTable : public ::testing::TestWithParam<Pick> {};

TEST_P(CellAtTable, FindsThePitchSquareOfTheLoad)
{
    const Pick &p = GetParam();
    EXPECT_EQ(CellAt(p.point, 5, p.lastCell, p.scrollTop), p.expected);
}

// Five columns: the pitch squares span x 20 to 1119.
INSTANTIATE_TEST_SUITE_P(
    Rows, CellAtTable,
    ::testing::Values(Pick{"FirstAcceptedPixel", {21, 21}, 0}, Pick{"FrameLeftEdge", {20, 100}, -1},
                      Pick{"FrameTopEdge", {100, 20}, -1}, Pick{"LeftMargin", {5, 100}, -1},
                      Pick{"GapRightOfAFrame", {239, 100}, 0}, Pick{"NextFrame", {240, 100}, 1},
                      Pick{"GapBelowAFrame", {100, 239}, 0}, Pick{"FrameBelow", {100, 240}, 5},
                      Pick{"LastColumnGap", {1119, 300}, 9}, Pick{"RightOfTheColumns", {1120, 300}, -1},
                      Pick{"LastCellOfTheLoad", {460, 240}, 7, 7}, Pick{"PastTheLastCell", {680, 240}, -1, 7},
                      Pick{"EmptyLoad", {100, 100}, -1, -1}, Pick{"ScrolledDown", {100, 500}, 10, 79, 479},
                      Pick{"UnderTheTopOfTheView", {100, 500}, -1, 79, 480}),
    RowName<Pick>);

struct Counter {
    const char *name;
    int count;
    int nextStart;
    const char *expected;
    friend std::ostream &operator<<(std::ostream &os, const Counter &r) { return os << r.name; }
};

class CounterTextTable : public ::testing::TestWithParam<Counter> {};

TEST_P(CounterTextTable, ShowsCountAndRest)
{
    EXPECT_EQ(CounterText(GetParam().count, GetParam().nextStart), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, CounterTextTable,
                         ::testing::Values(Counter{"AfterTheFirstBatch", 200, 80, "200-120"},
                                           Counter{"AtTheEnd", 200, 200, "200-0"}, Counter{"SmallFolder", 50, 0, "50-0"},
                                           Counter{"OneLoadStoppedAtTheBatch", 84, 80, "84-0"},
                                           Counter{"OnePastTheLimit", 85, 80, "85-5"}),
                         RowName<Counter>);

struct Layout {
    const char *name;
    int count;
    int columns;
    GridLayout expected;
    friend std::ostream &operator<<(std::ostream &os, const Layout &r) { return os << r.name; }
};

class LayoutTable : public ::testing::TestWithParam<Layout> {};

TEST_P(LayoutTable, SplitsTheLoadIntoRows)
{
    PagingModel paging;
    const PagingModel::Start start = paging.begin(GetParam().count, GridColumnsFor(WidthFor(GetParam().columns)));
    EXPECT_EQ(LayoutFor(start.remaining, paging.columns(), start.start), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, LayoutTable,
                         ::testing::Values(Layout{"FewerPhotosThanColumns", 3, 5, {1, 3, 0, 0}},
                                           Layout{"OneFullRow", 5, 5, {1, 5, 0, 0}},
                                           Layout{"ShortLastRow", 12, 5, {3, 5, 2, 0}},
                                           Layout{"WholeFolderInFullRows", 200, 5, {40, 5, 0, 0}}),
                         RowName<Layout>);

struct Height {
    const char *name;
    int remaining;
    int columns;
    int viewHeight;
    int expected;
    friend std::ostream &operator<<(std::ostream &os, const Height &r) { return os << r.name; }
};

class GridHeightTable : public ::testing::TestWithParam<Height> {};

// The grid picture holds the rows a load can draw, one batch at most, however long the folder.
TEST_P(GridHeightTable, HoldsOneBatchAtMost)
{
    const Height &h = GetParam();
    const GridLayout layout = LayoutFor(h.remaining, h.columns, 0);
    EXPECT_EQ(GridHeightFor(layout, BatchLimit / h.columns, h.viewHeight), h.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, GridHeightTable,
                         ::testing::Values(Height{"OneBatchInFiveColumns", 80, 5, 700, 16 * 220 + 40},
                                           Height{"AThousandPhotos", 1000, 5, 700, 16 * 220 + 40},
                                           Height{"AHundredThousandPhotos", 100000, 5, 700, 16 * 220 + 40},
                                           Height{"AShortLastRowPastTheBatch", 83, 5, 700, 16 * 220 + 40},
                                           Height{"EightColumnsBatchOfTen", 100000, 8, 700, 10 * 220 + 40},
                                           Height{"OneColumn", 100000, 1, 700, 84 * 220 + 40},
                                           Height{"FewRowsFillTheView", 12, 5, 700, 700},
                                           Height{"NothingToLoad", 0, 5, 700, 700}),
                         RowName<Height>);

// Loading a folder as the window does it, action by action.

enum class Action { Open, Forward, Back };

struct Step {
    const char *what;
    Action action;
    bool loads = true;  // false: the action leaves the grid and the state as they are
    int first = 0;      // the grid shows photos first .. first + drawn - 1
    int drawn = 0;
    int nextStart = 0;
    bool stopped = false;
    bool paging = false;
    const char *counter = "";
    int ctrlAt = -1;  // Ctrl is down before this cell of the load
};

struct Scenario {
    const char *name;
    int count;
    int columns;
    std::vector<Step> steps;
    friend std::ostream &operator<<(std::ostream &os, const Scenario &r) { return os << r.name; }
};

class Window {
public:
    Window(int count, int columns) : count_(count), width_(WidthFor(columns)) {}

    // Runs the action; true when a load ran.
    bool act(Action action, int ctrlAt)
    {
        switch (action) {
        case Action::Open: break;  // activation loads unless the grid is kept
        case Action::Forward:
            if (!model.forward(count_))
                return false;
            break;
        case Action::Back:
            if (!model.back(count_))
                return false;
            break;
        }
        return load(ctrlAt);
    }

    PagingModel model;
    int first = 0;
    int drawn = 0;

private:
    // Row by row, asking before every cell, until the layout ends or the load stops.
    bool load(int ctrlAt)
    {
        const PagingModel::Start load = model.begin(count_, GridColumnsFor(width_));
        if (load.kept)
            return false;
        const GridLayout layout = LayoutFor(load.remaining, model.columns(), load.start);
        int used = 0;
        for (int row = 1; row <= layout.rows && !model.stopped(); ++row) {
            const int cells = row == layout.rows && layout.remainder != 0 ? layout.remainder : layout.columns;
            for (int c = 0; c < cells; ++c) {
                if (!model.admit(used, row, used == ctrlAt)) {
                    EXPECT_EQ(model.nextStart(), load.start + used) << "the load stops at this cell";
                    break;
                }
                ++used;
            }
        }
        model.finish(used);
        first = load.start;
        drawn = used;
        return true;
    }

    int count_;
    int width_;
};

class PagingScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(PagingScenario, ShowsEachBatchInTurn)
{
    const Scenario &s = GetParam();
    Window window(s.count, s.columns);
    for (const Step &step : s.steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(window.act(step.action, step.ctrlAt), step.loads);
        EXPECT_EQ(window.first, step.first);
        EXPECT_EQ(window.drawn, step.drawn);
        EXPECT_EQ(window.model.gridBase(), step.first);
        EXPECT_EQ(window.model.drawnCount(), step.drawn);
        EXPECT_EQ(window.model.nextStart(), step.nextStart);
        EXPECT_EQ(window.model.stopped(), step.stopped);
        EXPECT_EQ(window.model.pagingOn(), step.paging);
        EXPECT_TRUE(window.model.kept());
        EXPECT_EQ(CounterText(s.count, window.model.nextStart()), QString::fromUtf8(step.counter));
        // Picking reaches exactly the cells drawn.
        EXPECT_EQ(window.model.lastCell(s.count), step.drawn - 1);
    }
}

constexpr auto Open = Action::Open;
constexpr auto Forward = Action::Forward;
constexpr auto Back = Action::Back;

INSTANTIATE_TEST_SUITE_P(
    Rows, PagingScenario,
    ::testing::Values(
        Scenario{"TwoHundredPhotosInFiveColumns",
                 200,
                 5,
                 {{"first load stops at row 17", Open, true, 0, 80, 80, true, false, "200-120"},
                  {"reopening keeps the grid", Open, false, 0, 80, 80, true, false, "200-120"},
                  {"back from the first batch", Back, false, 0, 80, 80, true, false, "200-120"},
                  {"forward", Forward, true, 80, 80, 160, true, true, "200-40"},
                  {"forward to the short batch", Forward, true, 160, 40, 200, true, true, "200-0"},
                  {"back from the short batch", Back, true, 80, 80, 160, true, true, "200-40"},
                  {"back from the second batch", Back, true, 0, 80, 80, true, true, "200-120"},
                  {"forward", Forward, true, 80, 80, 160, true, true, "200-40"},
                  {"forward", Forward, true, 160, 40, 200, true, true, "200-0"},
                  {"forward past the end starts over", Forward, true, 0, 80, 80, true, false, "200-120"}}},
        Scenario{"FolderWithinOneBatch",
                 50,
                 5,
                 {{"shown whole", Open, true, 0, 50, 0, false, false, "50-0"},
                  {"forward", Forward, false, 0, 50, 0, false, false, "50-0"},
                  {"back", Back, false, 0, 50, 0, false, false, "50-0"}}},
        Scenario{"EightyFourPhotosInEightColumns",
                 84,
                 8,
                 {{"first batch only", Open, true, 0, 80, 80, true, false, "84-0"},
                  {"forward", Forward, false, 0, 80, 80, true, false, "84-0"},
                  {"back", Back, false, 0, 80, 80, true, false, "84-0"}}},
        Scenario{"FewerPhotosThanColumns", 3, 5, {{"one short row", Open, true, 0, 3, 0, false, false, "3-0"}}},
        Scenario{"CtrlHeldAsTheLoadStarts",
                 200,
                 5,
                 {{"nothing drawn", Open, true, 0, 0, 0, true, false, "200-200", 0},
                  {"forward", Forward, true, 0, 80, 80, true, true, "200-120"},
                  {"forward with Ctrl held", Forward, true, 80, 0, 80, true, true, "200-120", 0},
                  {"forward goes on from there", Forward, true, 80, 80, 160, true, true, "200-40"}}},
        Scenario{"CtrlStopsMidRow",
                 200,
                 5,
                 {{"stopped at cell 7", Open, true, 0, 7, 7, true, false, "200-193", 7},
                  {"forward goes on after it", Forward, true, 7, 80, 87, true, true, "200-113"},
                  {"back stops at the first photo", Back, true, 0, 80, 80, true, true, "200-120"}}}),
    RowName<Scenario>);

}  // namespace
}  // namespace veilshot
