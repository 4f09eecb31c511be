#include "tools/toolwindow.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "files/localpath.h"
#include "platform/platform.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewerrules.h"
#include "viewer/viewermodel.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <cerrno>
#include <exception>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot::tools {

namespace {

class ClickFilter : public QObject {
public:
    ClickFilter(QObject *parent, std::function<void()> clicked)
        : QObject(parent)
        , clicked_(std::move(clicked))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            clicked_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> clicked_;
};

}  // namespace

std::optional<qsizetype> CheckedOne(const QList<QRadioButton *> &buttons)
{
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return i;
    }
    return std::nullopt;
}

void MakeExclusive(const QList<QRadioButton *> &buttons, QObject *owner)
{
    auto *group = new QButtonGroup(owner);
    group->setExclusive(true);
    for (QRadioButton *button : buttons)
        group->addButton(button);
}

QLabel *MakeLabel(const char *name, const QString &text, QWidget *parent, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(at);
    label->adjustSize();
    return label;
}

void StyleGauge(QProgressBar *gauge)
{
    gauge->setStyleSheet(QStringLiteral("QProgressBar { background: #00FFFF; border: none; }"
                                        "QProgressBar::chunk { background: #0D86FF; }"));
}

void OnClick(QLabel *label, std::function<void()> clicked)
{
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(new ClickFilter(label, std::move(clicked)));
}

ToolWindow::ToolWindow(PlainModel &model, platform::Platform &platform, const ToolLook &look, QWidget *parent)
    : QDialog(parent)
    , model_(model)
    , platform_(platform)
{
    setObjectName(QLatin1String(look.name));
    setWindowTitle(QLatin1String(look.title));
    setFixedSize(look.size);
    PaintBackground(this, look.ground);
    // A title and a close box only: no minimising a modal tool away, no maximising a fixed one.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setAutoFillBackground(true);

    Label1 = new QLabel(QLatin1String(ReadyText), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont big = Label1->font();
    big.setPixelSize(19);
    Label1->setFont(big);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label1->setPalette(blue);
    Label1->move(look.ready);
    Label1->adjustSize();
    Label1->hide();
    OnClick(Label1, [this] { Label1Click(); });

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setTextVisible(false);
    Gauge1->setRange(0, 1);
    Gauge1->setValue(0);

    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

ToolWindow::~ToolWindow()
{
    pool_.waitForDone();
}

void ToolWindow::placeCommands(QRect execute, QRect close)
{
    Panel1 = new PanelButton(QStringLiteral("Panel1"), QStringLiteral("To execute"), this);
    Panel1->setColour(QColor(0, 255, 255));
    Panel1->setGeometry(execute);
    connect(Panel1, &PanelButton::clicked, this, &ToolWindow::Panel1Click);
    Panel2 = new PanelButton(QStringLiteral("Panel2"), QStringLiteral("To close"), this);
    Panel2->setColour(QColor(0xFF, 0xAC, 0x59));
    Panel2->setGeometry(close);
    connect(Panel2, &PanelButton::clicked, this, &ToolWindow::Panel2Click);
}

void ToolWindow::Panel2Click()
{
    close();
}

void ToolWindow::Label1Click()
{
    Label1->hide();
}

std::optional<QString> ToolWindow::askOneTarget(const QString &photo, const QString &extension)
{
    const auto chosen = platform_.dialogs.saveFile(
        this, {.title = windowTitle(), .startFolder = FolderOf(photo), .proposedName = FileNameOf(photo)});
    activateWindow();
    if (!chosen)
        return std::nullopt;
    const QString target = OnePhotoTarget(*chosen, photo, extension);
    if (QFileInfo::exists(target)) {
        platform_.messages.inform(this, QLatin1String(SuchNameExistsMessage));
        return std::nullopt;
    }
    return target;
}

std::optional<QString> ToolWindow::askNewFolder(const QString &proposed,
                                                const std::function<QString(const QString &)> &folderOf)
{
    const QString start = FolderOf(model_.folder.current());
    const auto chosen = platform_.dialogs.saveFile(
        this, {.title = windowTitle(), .startFolder = start, .proposedName = proposed, .newFolder = true});
    activateWindow();
    if (!chosen)
        return std::nullopt;
    const QString folder = folderOf ? folderOf(*chosen) : *chosen;
    const QFileInfo info(folder);
    if (info.isDir()) {
        platform_.messages.inform(this, QLatin1String(FolderExistsMessage));
        return std::nullopt;
    }
    if (info.exists() || info.isSymLink())
        return std::nullopt;  // a file of that name: left alone
    // Made here and now, never taken over: a folder that appeared meanwhile is refused as well.
    if (::mkdir(LocalPath(folder).c_str(), 0777) != 0) {
        if (errno == EEXIST) {
            platform_.messages.inform(this, QLatin1String(FolderExistsMessage));
            return std::nullopt;
        }
        throw FileError(FileMessage("Cannot create folder", LocalPath(folder), errno));
    }
    return folder;
}

RunResult ToolWindow::runPlan(const Plan &plan, const Work &work, int stopKey)
{
    const QList<Outcome> done = execute(plan.jobs, work, stopKey);
    RunResult result;
    result.stopped = done.size() < plan.jobs.size();
    // The files left out for a clash count as failed where the run reached them.
    const int reached = done.size() < plan.jobs.size() ? plan.jobs[done.size()].index : std::numeric_limits<int>::max();
    qsizetype clash = 0;
    auto nameClashesBefore = [&](int index) {
        for (; clash < plan.clashes.size() && plan.clashes[clash].index < index && plan.clashes[clash].index < reached; ++clash)
            result.failures << FileNameOf(plan.clashes[clash].source) + QStringLiteral(": ") + QLatin1String(SameNameReason);
    };
    for (qsizetype i = 0; i < done.size(); ++i) {
        nameClashesBefore(plan.jobs[i].index);
        const Outcome &outcome = done[i];
        switch (outcome.kind) {
        case Outcome::Kind::Written: ++result.written; break;
        case Outcome::Kind::PassedOver: break;
        case Outcome::Kind::Stopped: result.stopped = true; break;
        case Outcome::Kind::Failed:
            result.failures << FileNameOf(plan.jobs[i].source) + QStringLiteral(": ") + outcome.reason;
            break;
        }
    }
    nameClashesBefore(std::numeric_limits<int>::max());
    return result;
}

void ToolWindow::sayOutcome(const Outcome &outcome, const QString &failure)
{
    switch (outcome.kind) {
    case Outcome::Kind::Written: Label1->show(); break;
    case Outcome::Kind::Stopped:
        if (!closeAfterRun_)  // the window is closing: nothing to tell
            platform_.messages.inform(this, QString::fromUtf8(WorkStoppedMessage));
        break;
    case Outcome::Kind::PassedOver:
    case Outcome::Kind::Failed: platform_.messages.inform(this, failure); break;
    }
}

Outcome ToolWindow::runOne(const Job &job, const OneWork &work, int stopKey)
{
    const QList<bool> wasEnabled = beginRun();
    Outcome outcome;
    bool gaugeShown = false;
    const OnePhotoWatch watch{
        .stopRequested = [&] { return closeAfterRun_ || platform_.keys.isDown(stopKey); },
        .stopKey = stopKey,
        .show =
            [&](int done) {
                if (done < 0) {
                    Gauge1->setValue(0);
                    showProgress(false);
                    return;
                }
                if (!gaugeShown) {
                    gaugeShown = true;
                    Gauge1->setRange(0, imaging::Progress::Whole);
                    showProgress(true);
                }
                Gauge1->setValue(done);
            },
        .delay = progressDelay_,
        .holdAt = holdAt_,
    };
    try {
        RunOnePhoto([&](imaging::Progress &progress) { outcome = work(job, progress); }, watch);
    } catch (...) {
        endRun(wasEnabled);
        throw;
    }
    endRun(wasEnabled);
    return outcome;
}

QList<bool> ToolWindow::beginRun()
{
    running_ = true;
    QList<bool> wasEnabled;
    for (QWidget *control : runControls_) {
        wasEnabled << control->isEnabled();
        control->setEnabled(false);
    }
    return wasEnabled;
}

void ToolWindow::endRun(const QList<bool> &wasEnabled)
{
    for (qsizetype i = 0; i < runControls_.size(); ++i)
        runControls_[i]->setEnabled(wasEnabled[i]);
    running_ = false;
    if (closeAfterRun_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

QList<Outcome> ToolWindow::execute(const QList<Job> &jobs, const Work &work, std::optional<int> stopKey)
{
    platform::WaitCursor wait;
    const QList<bool> wasEnabled = beginRun();
    if (stopKey) {
        Gauge1->setRange(0, std::max(0, model_.folder.lastIndex()));
        Gauge1->setValue(0);
    }

    // The stop key is read before each file is taken up, and also while files are in hand, so
    // that a press during a long file is not missed.
    bool stopped = false;
    QTimer watchKey;
    if (stopKey) {
        connect(&watchKey, &QTimer::timeout, this, [&] { stopped = stopped || platform_.keys.isDown(*stopKey); });
        watchKey.start(50);
    }

    const qsizetype count = jobs.size();
    QList<Outcome> done(count);
    qsizetype next = 0;
    int inFlight = 0;
    QEventLoop waiting;
    const int threads = pool_.maxThreadCount();
    for (;;) {
        while (!stopped && next < count && inFlight < threads) {
            QCoreApplication::processEvents();
            const bool stopKeyDown = stopKey && platform_.keys.isDown(*stopKey);
            if (stopKeyDown || closeAfterRun_ || stopped) {
                stopped = true;
                break;
            }
            const qsizetype at = next++;
            const Job job = jobs[at];
            auto *watcher = new QFutureWatcher<Outcome>(this);
            connect(watcher, &QFutureWatcherBase::finished, this, [&, watcher, at, job, stopKey] {
                done[at] = watcher->result();
                watcher->deleteLater();
                --inFlight;
                if (stopKey)
                    Gauge1->setValue(std::max(Gauge1->value(), job.index));
                waiting.quit();
            });
            watcher->setFuture(QtConcurrent::run(&pool_, [work, job] {
                try {
                    return work(job);
                } catch (const std::exception &error) {
                    return Outcome::failed(QString::fromLocal8Bit(error.what()));
                }
            }));
            ++inFlight;
        }
        if (inFlight == 0)
            break;
        waiting.exec();  // until a file is done
    }
    done.resize(next);
    endRun(wasEnabled);
    return done;
}

void ToolWindow::finishRun(const QString &folder, const RunResult &result, const QString &nothingMessage)
{
    Gauge1->setValue(0);
    if (result.written > 0) {
        Label1->show();
    } else {
        ::rmdir(LocalPath(folder).c_str());  // empty, as nothing was written into it
        if (result.stopped) {
            if (!closeAfterRun_)  // the window is closing: nothing to tell
                platform_.messages.inform(this, QString::fromUtf8(WorkStoppedMessage));
        }
        else if (!nothingMessage.isEmpty())
            platform_.messages.inform(this, nothingMessage);
    }
    reportFailures(result.failures);
}

void ToolWindow::reportFailures(const QStringList &failures)
{
    if (failures.isEmpty())
        return;
    platform_.messages.inform(this, NotWrittenReport(failures));
}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    if (running_) {
        // Stops the run after the files in hand; the window closes when it has ended.
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ToolWindow::reject()
{
    if (running_) {
        closeAfterRun_ = true;
        return;
    }
    QDialog::reject();
}

}  // namespace veilshot::tools
