#pragma once
// A viewer's slide show: the navigation rules, the timer that steps, the direction of the
// steps and which entry comes next. It steps through the folder model, which tells every view;
// the window colours its buttons, and the platform holds the screen saver off while it plays.

#include "viewer/foldermodel.h"
#include "viewer/navigation.h"

#include <QObject>

class QTimer;

namespace veilshot {

class SlideShow : public QObject {
    Q_OBJECT
public:
    SlideShow(FolderModel &folder, QObject *parent);
    ~SlideShow() override;  // a show still playing says that it stopped

    bool playing() const;
    bool manual() const { return navigator_.manual; }
    QTimer *timer() const { return timer_; }
    // The position is moving by the show's own tick, not by a step the user asked for.
    bool timedStep() const { return timedStep_; }

    void forward();
    void back();
    void stop();  // the stop action: in manual mode it changes nothing
    // Before a command that works on files or opens a window: stopped in every mode.
    void stopForCommand();
    void chooseRadio(int choice);  // index into RadioChoices
    void timerFired();             // the timer's tick: one step in the direction of play
    // A new folder is about to be shown: play and steps go forward again.
    void startAfresh();
    void opened(int count);

    // The entries to decode ahead, most wanted first: the one the next step in the current
    // direction would show, the one behind, and while playing the one after next. Empty when
    // there is no other entry.
    QStringList ahead() const;

signals:
    void coloursChanged(veilshot::ColourSet colours);
    void playingChanged(bool playing);

private:
    void apply(const Navigator::Effect &effect);

    FolderModel &folder_;
    Navigator navigator_;
    bool steppedBack_ = false;  // the last step by hand went backward
    bool playing_ = false;      // as last announced
    bool timedStep_ = false;
    QTimer *timer_;
};

}  // namespace veilshot
