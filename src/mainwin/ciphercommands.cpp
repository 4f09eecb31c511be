// The main window's commands that write files: ciphering photos, deciphered copies, moving and
// removing the shown file.

#include "mainwin/mainwindow.h"

#include "cipher/cipherengine.h"
#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "files/localpath.h"
#include "imaging/imaging.h"
#include "files/originals.h"
#include "mainwin/cipherplan.h"
#include "mainwin/originalsreport.h"
#include "platform/platform.h"
#include "viewer/decipheredcopy.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/previewsahead.h"
#include "viewer/texts.h"
#include "viewer/viewerrules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

namespace veilshot {

namespace {


QString PhotoFilter()
{
    QStringList patterns;
    for (const QString &extension : PhotoExtensions())
        patterns << QLatin1Char('*') + extension;
    return QStringLiteral("Photos|") + patterns.join(QLatin1Char(';'));
}

}  // namespace

// One batch at a time: while it runs, the commands that would start another are disabled, the
// progress strip shows and the hourglass is up; all of it is put back however the run ends.
// A run works under the code it started with, on an engine of its own: the code window stays
// open to the user meanwhile, and a code entered there serves the next run. A request to close
// the window stops the run after the file in hand, and the window closes when it has ended.
class TForm7::BatchRun {
public:
    BatchRun(TForm7 &window, int maximum, bool showProgress)
        : window_(window)
        , engine_(window.engine_.copy())
    {
        window_.model_.runInProgress = true;
        for (QObject *command : commands()) {
            wasEnabled_ << command->property("enabled").toBool();
            command->setProperty("enabled", false);
        }
        if (showProgress) {
            window_.ProgressBar1->setRange(0, std::max(0, maximum));
            window_.ProgressBar1->setValue(0);
            window_.Panel13->show();
        }
    }

    ~BatchRun()
    {
        window_.ProgressBar1->setValue(0);
        window_.Panel13->hide();
        const QList<QObject *> list = commands();
        for (qsizetype i = 0; i < list.size(); ++i)
            list[i]->setProperty("enabled", wasEnabled_[i]);
        window_.model_.runInProgress = false;
        if (window_.closeAfterRun_)
            QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
    }

    // Lets the window answer, then tells whether the user holds Ctrl to stop or asked to close.
    bool stopRequested()
    {
        QCoreApplication::processEvents();
        const bool ctrl = window_.platform_.keys.isDown(Qt::Key_Control);
        return ctrl || window_.closeAfterRun_;
    }

    void progress(int value) { window_.ProgressBar1->setValue(value); }

    cipher::CipherEngine &engine() { return *engine_; }

private:
    QList<QObject *> commands() const
    {
        return {window_.Panel6, window_.Panel9, window_.mN4, window_.mN7, window_.mN5, window_.mN6};
    }

    TForm7 &window_;
    std::unique_ptr<cipher::CipherEngine> engine_;
    QList<bool> wasEnabled_;
    platform::WaitCursor wait_;
};

void TForm7::Panel9Click()
{
    guarded([this] {
        if (!readyToOpen())
            return;
        stopForCommand();

        const QStringList picked = platform_.dialogs.openFiles(
            this, {.title = QString::fromUtf8(CipherTitle), .startFolder = StillThereOr(main_.LastSourceFolder), .filter = PhotoFilter()});
        if (picked.isEmpty())
            return;
        const QString first = picked.constFirst();
        const bool all = CheckBox2->isChecked();
        main_.LastSourceFolder = FolderOf(first);
        QCoreApplication::processEvents();

        const auto chosen = platform_.dialogs.saveFile(this, {.title = QString::fromUtf8(CipherTitle),
                                                              .startFolder = StillThereOr(main_.LastCipherFolder, FolderOf(first)),
                                                              .proposedName = FileNameOf(first)});
        if (!chosen)
            return;
        const QString folder = JoinPath(FolderOf(*chosen), QLatin1String(CipheredFolder));
        const CipherPlan plan = PlanCiphering(picked, all, *chosen, folder);
        if (plan.single && !FileExists(first)) {
            platform_.messages.inform(this, QLatin1String(NotPresentMessage));
            return;
        }
        // Each sealed with its preview, for the ciphered grid to draw it by; made on every core
        // ahead of the run, the first ones while the key is stretched.
        QStringList sources;
        for (const CipherJob &job : plan.jobs)
            sources << job.source;
        const bool sealing = engine_.writeFormat() == cipher::Format::Sealed;
        PreviewsAhead previews(sources, sealing);
        PrepareKeys(engine_, {}, true);
        MakeSubfolder(FolderOf(*chosen), QLatin1String(CipheredFolder));
        main_.LastCipherFolder = FolderOf(*chosen);

        // Each copy is read back and checked behind the run while the next photo is ciphered and
        // the page cache holds both, on an engine of its own that outlives the run however it
        // ends; whether the originals go is asked once the run and its checks are over.
        PutAway originals;
        std::vector<OriginalKept> notCiphered;
        {
            BatchRun run(*this, plan.maximum, !plan.single);
            const std::shared_ptr<const cipher::CipherEngine> checking = run.engine().copy();
            const auto decipher = [checking](const std::filesystem::path &copy, const PutAway::Sink &sink) {
                return checking->decipherInPieces(copy, sink) == cipher::Refusal::None;
            };
            const auto cipher = [&](const CipherJob &job, int index) {
                const std::filesystem::path source = LocalPath(job.source), target = LocalPath(job.target);
                run.engine().extension = cipher::Extension::fromFileName(source);
                std::vector<std::uint8_t> preview;
                if (sealing)
                    RunOffThread([&] { preview = previews.take(index); });
                const PhotoStamp read = PhotoStampOf(source);
                run.engine().Cipfoto(source, target, AtomicFile::Mode::KeepExisting, preview);
                originals.proveBehind(source, read, target, decipher, false);
            };
            if (plan.single) {
                const CipherJob &job = plan.jobs.constFirst();
                platform::WriteNew(platform_.messages, this, job.target, QLatin1String(SuchNameExistsMessage),
                                   [&] { cipher(job, 0); });
            }
            for (int index = 0; !plan.single && index < plan.jobs.size(); ++index) {
                const CipherJob &job = plan.jobs[index];
                if (run.stopRequested()) {
                    for (const CipherJob &rest : plan.jobs.mid(index))
                        notCiphered.push_back({LocalPath(rest.source), StoppedReason});
                    break;
                }
                run.progress(job.progress);
                try {
                    if (FileExists(job.source) && !QFileInfo::exists(job.target)) {
                        cipher(job, index);
                        continue;
                    }
                } catch (const TargetExistsError &) {
                    // appeared meanwhile: passed over like any target that exists
                }
                notCiphered.push_back({LocalPath(job.source), PassedOverReason});
            }
            originals.waitBehind();
        }
        if (!closeAfterRun_)
            offerToRemoveOriginals(originals, notCiphered);
    });
}

void TForm7::offerToRemoveOriginals(PutAway &originals, std::vector<OriginalKept> notCiphered)
{
    if (originals.proven() == 0 || !platform_.messages.ask(this, RemoveOriginalsQuestionText(originals.proven()))) {
        if (!originals.kept().empty())
            platform_.messages.inform(this, CheckFailedReport(originals.kept()));
        return;
    }
    {
        platform::WaitCursor wait;
        originals.removeProven();
        originals.finish();
    }
    std::vector<OriginalKept> kept = originals.kept();
    kept.insert(kept.end(), notCiphered.begin(), notCiphered.end());
    platform_.messages.inform(this, PutAwayReport(originals.removed().size(), kept, originals.tracesLeft()));
}

void TForm7::mN4Click()
{
    guarded([this] {
        const auto current = fileForCommand();
        if (!current)
            return;
        PrepareKeys(engine_, {*current});
        // Refused before a name is asked for: nothing could be written under it.
        if (const QString refusal = CopyRefusal(engine_, *current); !refusal.isEmpty()) {
            platform_.messages.inform(this, refusal);
            return;
        }
        const QString stored = StoredExtension(engine_, *current);
        copyFile(*current, {.title = QString::fromUtf8(CopyCipheredTitle),
                            .subfolder = QLatin1String(DecodedFolder),
                            .extension = stored,
                            .proposedName = ReplaceExtension(FileNameOf(*current), stored),
                            .lastFolder = main_.LastDecodeFolder,
                            .existsMessage = ThisNameExistsMessage,
                            .write = [this](const QString &entry, const QString &target) {
                                QCoreApplication::processEvents();
                                BatchRun run(*this, 0, false);
                                WriteDecipheredCopy(run.engine(), entry, target);
                            }});
    });
}

void TForm7::mN7Click()
{
    guarded([this] {
        const auto current = fileForCommand();
        if (!current)
            return;
        const QString entry = *current;
        PrepareKeys(engine_, model_.folder.paths());
        const auto chosen = platform_.dialogs.saveFile(
            this, {.title = QString::fromUtf8(DecodeAllTitle), .startFolder = FolderOf(entry),
                   .proposedName = ReplaceExtension(FileNameOf(entry), StoredExtension(engine_, entry))});
        if (!chosen)
            return;
        const QString folder = MakeSubfolder(FolderOf(*chosen), QLatin1String(DecodedFolder));

        const FolderModel &list = model_.folder;
        // A file that cannot be deciphered or is no picture is passed over, as one of another
        // code is, and named at the end: the files after it are written all the same.
        QStringList passedOver;
        int written = 0;
        {
            BatchRun run(*this, list.lastIndex(), true);
            for (int i = 0; i <= list.lastIndex(); ++i) {
                if (run.stopRequested())
                    break;
                const QString file = list.at(i);
                try {
                    if (FileExists(file)) {
                        const QString target =
                            JoinPath(folder, ReplaceExtension(FileNameOf(file), StoredExtension(run.engine(), file)));
                        if (!QFileInfo::exists(target) && WriteDecipheredCopy(run.engine(), file, target))
                            ++written;  // another code: passed over without a word
                    }
                } catch (const TargetExistsError &) {
                } catch (const FileError &error) {
                    passedOver << FileNameOf(file) + QStringLiteral(": ") +
                                      QString::fromStdString(ReasonIn(error.what(), LocalPath(file)));
                }
                run.progress(i);
            }
        }
        if (!passedOver.isEmpty() && !closeAfterRun_)  // closing: nothing to tell
            platform_.messages.inform(this, NotWrittenReport(passedOver, written));
    });
}

void TForm7::mN5Click()
{
    guarded([this] { moveCurrent(true); });
}

void TForm7::mN6Click()
{
    guarded([this] { removeCurrent(); });
}

}  // namespace veilshot
