#pragma once
// A viewer's slide show: the navigation rules, the timer that steps (Timer1) and the hold on
// the screen saver while it plays. The window shows what it is told to and colours its
// buttons.

#include "navigation.h"

#include <QObject>

class QTimer;

namespace veilshot {
namespace platform { class KeepAwake; }

class SlideShow : public QObject {
    Q_OBJECT
public:
    SlideShow(FolderModel &folder, platform::KeepAwake &keepAwake, QObject *parent);
    ~SlideShow() override;

    Navigator navigator;

    bool playing() const;
    QTimer *timer() const { return Timer1; }

    void forward();
    void back();
    void stop();  // the stop action: in manual mode it changes nothing
    // Before a command that works on files or opens a window: stopped in every mode.
    void stopForCommand();
    void chooseRadio(int choice);  // index into RadioChoices
    void timerFired();             // Timer1's tick: one step in the direction of play
    void opened(int count);

signals:
    // The position changed: show the file there.
    void showCurrent();
    void coloursChanged(veilshot::ColourSet colours);

private:
    void apply(const Navigator::Effect &effect);

    platform::KeepAwake &keepAwake_;
    QTimer *Timer1;
};

}  // namespace veilshot
