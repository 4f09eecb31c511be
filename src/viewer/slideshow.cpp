#include "viewer/slideshow.h"

#include <QTimer>

namespace veilshot {

SlideShow::SlideShow(FolderModel &folder, QObject *parent)
    : QObject(parent)
    , folder_(folder)
    , timer_(new QTimer(this))
{
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(3000);
    connect(timer_, &QTimer::timeout, this, &SlideShow::timerFired);
}

SlideShow::~SlideShow()
{
    if (playing_)
        emit playingChanged(false);
}

bool SlideShow::playing() const
{
    return timer_->isActive();
}

void SlideShow::forward()
{
    steppedBack_ = false;
    apply(navigator_.forward(playing()));
}

void SlideShow::back()
{
    steppedBack_ = true;
    apply(navigator_.back(playing()));
}

void SlideShow::stop()
{
    apply(navigator_.stop());
}

void SlideShow::stopForCommand()
{
    apply({.colours = ColourSet::Stopped, .timer = false});
}

void SlideShow::chooseRadio(int choice)
{
    const int interval = RadioChoices[choice].interval;
    apply(interval == 0 ? navigator_.chooseManual() : navigator_.chooseInterval(interval));
}

void SlideShow::timerFired()
{
    timedStep_ = true;
    apply(navigator_.timerFired());
    timedStep_ = false;
}

void SlideShow::startAfresh()
{
    navigator_.backward = false;
    steppedBack_ = false;
}

void SlideShow::opened(int count)
{
    apply(navigator_.opened(count));
}

QStringList SlideShow::ahead() const
{
    if (folder_.lastIndex() < 1)
        return {};
    const bool backward = navigator_.manual ? steppedBack_ : navigator_.backward;
    QStringList paths{folder_.at(folder_.neighbour(backward)), folder_.at(folder_.neighbour(!backward))};
    if (playing())
        paths.insert(1, folder_.at(folder_.neighbour(backward, 2)));
    paths.removeAll(folder_.current());
    paths.removeDuplicates();
    return paths;
}

void SlideShow::apply(const Navigator::Effect &effect)
{
    if (effect.interval) {
        timer_->setInterval(*effect.interval);
        if (timer_->isActive())
            timer_->start();  // the countdown starts afresh
    }
    if (effect.timer) {
        if (*effect.timer)
            timer_->start();
        else
            timer_->stop();
    }
    if (effect.colours)
        emit coloursChanged(*effect.colours);
    if (playing() != playing_) {
        playing_ = playing();
        emit playingChanged(playing_);
    }
    if (effect.step)
        folder_.step(*effect.step);
}

}  // namespace veilshot
