// Stepping and the slide show as a state table: each row an event from a state, and what
// follows (the step taken, colours, timer).

#include "viewer/foldermodel.h"
#include "viewer/navigation.h"

#include <gtest/gtest.h>

namespace veilshot {
namespace {

enum class Event { Forward, Back, Stop, Timer, Interval20, Manual, OpenedSeveral, OpenedOne, OpenFailed };

struct Row {
    const char *name;
    bool manual;
    bool playBackward;
    bool timerRunning;
    int index;
    Event event;
    Navigator::Effect effect;
    int indexAfter;
    bool manualAfter;
    bool playBackwardAfter;
    friend std::ostream &operator<<(std::ostream &os, const Row &r) { return os << r.name; }
};

class NavigationTable : public ::testing::TestWithParam<Row> {};

TEST_P(NavigationTable, EventGivesStateColoursAndTimer)
{
    const Row &row = GetParam();
    Navigator navigator{.manual = row.manual, .backward = row.playBackward};
    Navigator::Effect effect;
    switch (row.event) {
    case Event::Forward: effect = navigator.forward(row.timerRunning); break;
    case Event::Back: effect = navigator.back(row.timerRunning); break;
    case Event::Stop: effect = navigator.stop(); break;
    case Event::Timer: effect = navigator.timerFired(); break;
    case Event::Interval20: effect = navigator.chooseInterval(20000); break;
    case Event::Manual: effect = navigator.chooseManual(); break;
    case Event::OpenedSeveral: effect = navigator.opened(5); break;
    case Event::OpenedOne: effect = navigator.opened(1); break;
    case Event::OpenFailed: effect = navigator.openFailed(); break;
    }
    EXPECT_EQ(effect, row.effect);
    // The step taken through a folder of five, as the slide show has the folder model take it.
    FolderModel folder;
    folder.replace({"a", "b", "c", "d", "e"}, row.index);
    if (effect.step)
        folder.step(*effect.step);
    EXPECT_EQ(folder.index(), row.indexAfter);
    EXPECT_EQ(navigator.manual, row.manualAfter);
    EXPECT_EQ(navigator.backward, row.playBackwardAfter);
}

using E = Navigator::Effect;
constexpr auto Stopped = ColourSet::Stopped;
constexpr auto Fwd = ColourSet::PlayingForward;
constexpr auto Bwd = ColourSet::PlayingBackward;

INSTANTIATE_TEST_SUITE_P(
    Rows, NavigationTable,
    ::testing::Values(
        Row{"ManualForwardSteps", true, false, false, 1, Event::Forward, E{.step = false}, 2, true, false},
        Row{"ManualForwardWrapsToFirst", true, false, false, 4, Event::Forward, E{.step = false}, 0, true, false},
        Row{"ManualForwardFromOnePastTheEnd", true, false, false, 5, Event::Forward, E{.step = false}, 0, true, false},
        Row{"ManualBackWrapsToLast", true, false, false, 0, Event::Back, E{.step = true}, 4, true, false},
        Row{"ManualStopDoesNothing", true, false, false, 2, Event::Stop, E{}, 2, true, false},
        Row{"IntervalFromManualKeepsColours", true, false, false, 2, Event::Interval20, E{.interval = 20000}, 2, false, false},
        Row{"TimedForwardStartsPlaying", false, true, false, 2, Event::Forward, E{.colours = Fwd, .timer = true}, 2, false, false},
        Row{"TimedForwardDoesNotRestartARunningTimer", false, false, true, 2, Event::Forward, E{.colours = Fwd}, 2, false, false},
        Row{"TimedBackPlaysBackward", false, false, false, 2, Event::Back, E{.colours = Bwd, .timer = true}, 2, false, true},
        Row{"TimedStopStops", false, false, true, 2, Event::Stop, E{.colours = Stopped, .timer = false}, 2, false, false},
        Row{"TimerStepsForward", false, false, true, 4, Event::Timer, E{.step = false}, 0, false, false},
        Row{"TimerStepsBackward", false, true, true, 0, Event::Timer, E{.step = true}, 4, false, true},
        Row{"AnotherIntervalWhilePlaying", false, false, true, 2, Event::Interval20, E{.interval = 20000}, 2, false, false},
        Row{"ManualChosenStopsEverything", false, true, true, 2, Event::Manual, E{.colours = Stopped, .timer = false}, 2, true, true},
        Row{"TimedOpenOfSeveralPlaysForward", false, true, false, 2, Event::OpenedSeveral, E{.colours = Fwd, .timer = true}, 2, false, false},
        Row{"TimedOpenOfOneStops", false, false, true, 0, Event::OpenedOne, E{.colours = Stopped, .timer = false}, 0, false, false},
        Row{"ManualOpenStaysManual", true, true, false, 0, Event::OpenedSeveral, E{}, 0, true, false},
        Row{"TimedFailedOpenStops", false, false, true, 1, Event::OpenFailed, E{.colours = Stopped, .timer = false}, 1, false, false}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
