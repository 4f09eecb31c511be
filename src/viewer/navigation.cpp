#include "navigation.h"

namespace veilshot {

void Navigator::stepForward()
{
    int &index = folder_.Index;
    index = index + 1 > folder_.LastIndex() ? 0 : index + 1;
}

void Navigator::stepBackward()
{
    int &index = folder_.Index;
    index = index != 0 ? index - 1 : folder_.LastIndex();
}

int Navigator::peek(bool backward) const
{
    const int index = folder_.Index;
    if (backward)
        return index != 0 ? index - 1 : folder_.LastIndex();
    return index + 1 > folder_.LastIndex() ? 0 : index + 1;
}

Navigator::Effect Navigator::forward(bool timerRunning)
{
    if (ManualMode) {
        stepForward();
        return {.show = true};
    }
    PlayBackward = false;
    Effect effect{.colours = ColourSet::PlayingForward};
    if (!timerRunning)  // a running timer is not restarted
        effect.timer = true;
    return effect;
}

Navigator::Effect Navigator::back(bool timerRunning)
{
    if (ManualMode) {
        stepBackward();
        return {.show = true};
    }
    PlayBackward = true;
    Effect effect{.colours = ColourSet::PlayingBackward};
    if (!timerRunning)
        effect.timer = true;
    return effect;
}

Navigator::Effect Navigator::stop()
{
    if (ManualMode)
        return {};
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::timerFired()
{
    if (PlayBackward)
        stepBackward();
    else
        stepForward();
    return {.show = true};
}

Navigator::Effect Navigator::chooseInterval(int milliseconds)
{
    ManualMode = false;
    return {.interval = milliseconds};
}

Navigator::Effect Navigator::chooseManual()
{
    ManualMode = true;
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::opened(int count)
{
    PlayBackward = false;
    if (ManualMode)
        return {};
    if (count > 1)
        return {.colours = ColourSet::PlayingForward, .timer = true};
    return {.colours = ColourSet::Stopped, .timer = false};
}

Navigator::Effect Navigator::openFailed()
{
    if (ManualMode)
        return {};
    return {.colours = ColourSet::Stopped, .timer = false};
}

}  // namespace veilshot
