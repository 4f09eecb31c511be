#pragma once
// What the three image tools share: the window they are built on, with "IT IS READY", the
// gauge, the name and folder dialogs, and the run over the viewer's folder. A run works on as
// many threads as the machine has cores while the window stays responsive; the stop key is read
// before each file is taken up, so it ends the run after the files in hand.

#include "tools/toolwork.h"

#include <QColor>
#include <QDialog>
#include <QPoint>
#include <QSize>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QRadioButton;

namespace veilshot {
class PanelButton;
struct PlainModel;
namespace platform {
struct Platform;
}
}  // namespace veilshot

namespace veilshot::tools {

// How a tool window looks: its name, title, fixed size, ground colour and where "IT IS READY"
// shows.
struct ToolLook {
    const char *name;
    const char *title;
    QSize size;
    QColor ground;
    QPoint ready;
};

class ToolWindow : public QDialog {
    Q_OBJECT
public:
    ToolWindow(PlainModel &model, platform::Platform &platform, const ToolLook &look, QWidget *parent);
    ~ToolWindow() override;

    bool running() const { return running_; }

    // How long one photo's work goes on before the gauge shows how far it has come: a second
    // (tests shorten it).
    void setProgressDelay(std::chrono::milliseconds delay) { progressDelay_ = delay; }
    // Where one photo's work waits until it is stopped (imaging::Progress::holdAt): tests hold
    // it there while the window reads the stop key, however fast the machine is.
    void setHoldAt(int done) { holdAt_ = done; }

    virtual void Panel1Click() = 0;  // "To execute"
    void Panel2Click();              // "To close"
    void Label1Click();

protected:
    // "To execute" and "To close", where each window puts them.
    void placeCommands(QRect execute, QRect close);

    // The file a one-photo command writes, asked for with the photo's own name proposed: empty
    // when the dialog is cancelled or the name is taken (the user is told).
    std::optional<QString> askOneTarget(const QString &photo, const QString &extension);
    // The new folder of a run over the folder, made here: empty when the dialog is cancelled, the
    // name is a file, or a folder of that name exists (the user is told). FileError when it
    // cannot be made. `folderOf` turns the chosen name into the folder's.
    std::optional<QString> askNewFolder(const QString &proposed,
                                        const std::function<QString(const QString &)> &folderOf = {});

    // Runs the plan with the gauge moving, the hourglass up and the controls of `runControls_`
    // disabled; `stopKey` held ends it after the files in hand, as a request to close does.
    RunResult runPlan(const Plan &plan, const Work &work, int stopKey);
    // One photo, on a worker as a run's files are, while the window answers and its commands
    // wait; an exception from the work reaches the caller. Once it has gone on for the progress
    // delay the gauge shows how far it has come; `stopKey` held, or a request to close, stops
    // it, and it then comes back as Outcome::stopped() having written nothing.
    Outcome runOne(const Job &job, const OneWork &work, int stopKey);
    // Says what became of one photo's work: "IT IS READY" when written, that it was stopped when
    // it was, else `failure`.
    void sayOutcome(const Outcome &outcome, const QString &failure);
    // Shows or hides the gauge for one photo's work; where it is always shown, nothing to do.
    virtual void showProgress(bool /*shown*/) {}
    // The end of a run into `folder`: "IT IS READY" when something was written; otherwise the
    // folder goes again and `nothingMessage`, if any, is shown (that the run was stopped, if it
    // was). Files that failed are named.
    void finishRun(const QString &folder, const RunResult &result, const QString &nothingMessage = {});
    // Names the files that failed, in one message.
    void reportFailures(const QStringList &failures);

    void closeEvent(QCloseEvent *event) override;
    void reject() override;  // Esc, as the close box

    PlainModel &model_;
    platform::Platform &platform_;
    QLabel *Label1;         // "IT IS READY"
    QProgressBar *Gauge1;   // placed by each window
    PanelButton *Panel1 = nullptr;
    PanelButton *Panel2 = nullptr;
    QList<QWidget *> runControls_;

private:
    // Runs the jobs in order, as many at a time as there are cores; gives what became of those
    // taken up before a stop, in order. Without a stop key the gauge is left alone.
    QList<Outcome> execute(const QList<Job> &jobs, const Work &work, std::optional<int> stopKey);
    // The run's start and end: the hourglass is up to the caller; the controls of `runControls_`
    // are disabled, then given back their state.
    QList<bool> beginRun();
    void endRun(const QList<bool> &wasEnabled);

    QThreadPool pool_;
    bool running_ = false;
    bool closeAfterRun_ = false;
    std::chrono::milliseconds progressDelay_{1000};
    int holdAt_ = imaging::Progress::Whole + 1;
};

// The position of the checked one of `buttons`, if any.
std::optional<qsizetype> CheckedOne(const QList<QRadioButton *> &buttons);

// Makes `buttons` one exclusive group of their own, whatever panels they sit in: one stays
// checked when clicked again, and other groups are left alone.
void MakeExclusive(const QList<QRadioButton *> &buttons, QObject *owner);

// A label named `name` at `at`, sized to its text.
QLabel *MakeLabel(const char *name, const QString &text, QWidget *parent, QPoint at);

// The gauge's colours: an aqua ground and a blue bar, without text.
void StyleGauge(QProgressBar *gauge);

// Makes a label clickable: `clicked` runs on a left click.
void OnClick(QLabel *label, std::function<void()> clicked);

}  // namespace veilshot::tools
