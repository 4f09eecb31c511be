#pragma once
// Stepping through a viewer's folder list and the timed slide show: the rules both viewers
// share, without any window. The slide show (slideshow.h) owns the timer and applies the
// Effect that each event returns.

#include <optional>

namespace veilshot {

// The colours of Forward, Stop and Back that show the state.
enum class ColourSet { Stopped, PlayingForward, PlayingBackward };

// What each event of the slide show leads to. The rules only compute it: the slide show
// applies it, and the folder model takes the step.
class Navigator {
public:
    struct Effect {
        std::optional<bool> step;          // one step through the folder, backward when true
        std::optional<ColourSet> colours;  // apply this colour set
        std::optional<bool> timer;         // start (true) or stop (false) the slide-show timer
        std::optional<int> interval;       // the slide-show interval in ms, restarting its countdown
        friend bool operator==(const Effect &, const Effect &) = default;
    };

    bool manual = true;     // steps by hand; else an interval is chosen
    bool backward = false;  // the direction of play

    Effect forward(bool timerRunning);
    Effect back(bool timerRunning);
    Effect stop();  // the stop action that other commands run before theirs
    Effect timerFired();
    Effect chooseInterval(int milliseconds);
    Effect chooseManual();
    // After a successful open of `count` files (the position already set).
    Effect opened(int count);
    // After an open that was cancelled or refused.
    Effect openFailed();
};

// The radio strip's choices: interval in ms, 0 for "Man.".
struct RadioChoice {
    const char *name;     // objectName
    const char *caption;
    int interval;
};
inline constexpr RadioChoice RadioChoices[] = {
    {"RadioButton9", "Man.", 0},     {"RadioButton1", "1", 1000},   {"RadioButton2", "2", 2000},
    {"RadioButton3", "3", 3000},     {"RadioButton4", "5", 5000},   {"RadioButton5", "10", 10000},
    {"RadioButton6", "20", 20000},
};

}  // namespace veilshot
