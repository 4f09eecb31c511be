#include "slideshow.h"

#include "platform.h"

#include <QTimer>

namespace veilshot {

SlideShow::SlideShow(FolderModel &folder, platform::KeepAwake &keepAwake, QObject *parent)
    : QObject(parent)
    , navigator(folder)
    , keepAwake_(keepAwake)
    , Timer1(new QTimer(this))
{
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &SlideShow::timerFired);
}

SlideShow::~SlideShow()
{
    if (Timer1->isActive())
        keepAwake_.setPlaying(false);
}

bool SlideShow::playing() const
{
    return Timer1->isActive();
}

void SlideShow::forward()
{
    apply(navigator.forward(playing()));
}

void SlideShow::back()
{
    apply(navigator.back(playing()));
}

void SlideShow::stop()
{
    apply(navigator.stop());
}

void SlideShow::stopForCommand()
{
    apply({.colours = ColourSet::Stopped, .timer = false});
}

void SlideShow::chooseRadio(int choice)
{
    const int interval = RadioChoices[choice].interval;
    apply(interval == 0 ? navigator.chooseManual() : navigator.chooseInterval(interval));
}

void SlideShow::timerFired()
{
    apply(navigator.timerFired());
}

void SlideShow::opened(int count)
{
    apply(navigator.opened(count));
}

void SlideShow::apply(const Navigator::Effect &effect)
{
    if (effect.interval) {
        Timer1->setInterval(*effect.interval);
        if (Timer1->isActive())
            Timer1->start();  // the countdown starts afresh
    }
    if (effect.timer) {
        if (*effect.timer)
            Timer1->start();
        else
            Timer1->stop();
    }
    if (effect.colours)
        emit coloursChanged(*effect.colours);
    keepAwake_.setPlaying(Timer1->isActive());
    if (effect.show)
        emit showCurrent();
}

}  // namespace veilshot
