#include "viewer/navigation.h"

namespace veilshot {

Navigator::Effect Navigator::forward(bool timerRunning)
{
    if (manual)
        return {.step = false};
    backward = false;
    Effect effect{.colours = ColourSet::PlayingForward};
    if (!timerRunning)  // a running timer is not restarted
        effect.timer = true;
    return effect;
}

Navigator::Effect Navigator::back(bool timerRunning)
{
    if (manual)
        return {.step = true};
    backward = true;
    Effect effect{.colours = ColourSet::PlayingBackward};
    if (!timerRunning)
        effect.timer = true;
    return effect;
}

Navigator::Effect Navigator::stop()
{
    if (manual)
        return {};
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::timerFired()
{
    return {.step = backward};
}

Navigator::Effect Navigator::chooseInterval(int milliseconds)
{
    manual = false;
    return {.interval = milliseconds};
}

Navigator::Effect Navigator::chooseManual()
{
    manual = true;
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::opened(int count)
{
    backward = false;
    if (manual)
        return {};
    if (count > 1)
        return {.colours = ColourSet::PlayingForward, .timer = true};
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::openFailed()
{
    if (manual)
        return {};
    return {.colours = ColourSet::Stopped, .timer = false};
}

}  // namespace veilshot
