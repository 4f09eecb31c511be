// The main window's commands that write files: ciphering photos, deciphered copies, moving and
// removing the shown file.

#include "mainwindow.h"

#include "cipherengine.h"
#include "decipheredcopy.h"
#include "fileio.h"
#include "fileoperations.h"
#include "folderlisting.h"
#include "imaging.h"
#include "offthread.h"
#include "panelbutton.h"
#include "platform.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

namespace veilshot {

namespace {

constexpr auto CipheredFolder = "The ciphered photo";
constexpr auto DecodedFolder = "The decoded photo";

QString PhotoFilter()
{
    QStringList patterns;
    for (const QString &extension : PhotoExtensions())
        patterns << QLatin1Char('*') + extension;
    return QStringLiteral("Photos|") + patterns.join(QLatin1Char(';'));
}

// A remembered folder serves as a dialog's start only while it exists.
QString StartIn(const QString &remembered, const QString &otherwise = {})
{
    return !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : otherwise;
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
        , engine_(window.engine_.Copy())
    {
        window_.model_.RunInProgress = true;
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
        window_.model_.RunInProgress = false;
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
            this, {.title = QStringLiteral("Cipher"), .startFolder = StartIn(main_.LastSourceFolder), .filter = PhotoFilter()});
        if (picked.isEmpty())
            return;
        const QString first = picked.constFirst();
        const bool all = CheckBox2->isChecked();
        main_.LastSourceFolder = FolderOf(first);
        QCoreApplication::processEvents();

        const auto chosen = platform_.dialogs.saveFile(this, {.title = QStringLiteral("Cipher"),
                                                              .startFolder = StartIn(main_.LastCipherFolder, FolderOf(first)),
                                                              .proposedName = FileNameOf(first)});
        if (!chosen)
            return;
        const bool single = !all && picked.size() == 1;
        if (single && !FileExists(first)) {
            platform_.messages.inform(this, QLatin1String(NotPresentMessage));
            return;
        }
        PrepareKeys(engine_, {}, true);
        const QString folder = MakeSubfolder(FolderOf(*chosen), QLatin1String(CipheredFolder));
        main_.LastCipherFolder = FolderOf(*chosen);
        auto destinationOf = [&folder](const QString &file) {
            return JoinPath(folder, ReplaceExtension(FileNameOf(file), QStringLiteral(".veil")));
        };
        auto cipher = [](BatchRun &run, const QString &source, const QString &target) {
            run.engine().extension = cipher::Extension::FromFileName(LocalPath(source));
            run.engine().Cipfoto(LocalPath(source), LocalPath(target), AtomicFile::Mode::KeepExisting);
        };

        if (single) {
            const QString target = destinationOf(*chosen);
            BatchRun run(*this, 0, false);
            try {
                if (QFileInfo::exists(target))
                    throw TargetExistsError("");
                cipher(run, first, target);
            } catch (const TargetExistsError &) {
                platform_.messages.inform(this, QLatin1String(SuchNameExistsMessage));
            }
            return;
        }

        if (!all) {
            BatchRun run(*this, int(picked.size()) - 1, true);
            for (int i = 0; i < picked.size(); ++i) {
                if (run.stopRequested())
                    break;
                run.progress(i);
                const QString &file = picked[i];
                const QString target = destinationOf(file);
                if (!FileExists(file) || QFileInfo::exists(target))
                    continue;
                try {
                    cipher(run, file, target);
                } catch (const TargetExistsError &) {
                    // appeared meanwhile: passed over like any existing target
                }
            }
            return;
        }

        // Every photo of the folder that has no ciphered copy there yet.
        const QString source = FolderOf(first);
        auto takingPart = [&](const QString &name) {
            const QString path = JoinPath(source, name);
            return IsPhotoFile(path) && !QFileInfo::exists(destinationOf(path));
        };
        int count = 0;
        for (const QString &name : ListFolder(source))
            count += takingPart(name) ? 1 : 0;
        BatchRun run(*this, count, true);
        int done = 0;
        for (const QString &name : ListFolder(source)) {
            if (run.stopRequested())
                break;
            if (!takingPart(name))
                continue;
            run.progress(++done);
            try {
                cipher(run, JoinPath(source, name), destinationOf(JoinPath(source, name)));
            } catch (const TargetExistsError &) {
            }
        }
    });
}

void TForm7::mN4Click()
{
    guarded([this] {
        const auto current = fileForCommand();
        if (!current)
            return;
        PrepareKeys(engine_, {*current});
        const QString stored = StoredExtension(engine_, *current);
        copyFile(*current, {.title = QStringLiteral("Copy"),
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
            this, {.title = QStringLiteral("To decode all"),
                   .proposedName = ReplaceExtension(FileNameOf(entry), StoredExtension(engine_, entry))});
        if (!chosen)
            return;
        const QString folder = MakeSubfolder(FolderOf(*chosen), QLatin1String(DecodedFolder));

        const FolderModel &list = model_.folder;
        BatchRun run(*this, list.lastIndex(), true);
        for (int i = 0; i <= list.lastIndex(); ++i) {
            if (run.stopRequested())
                break;
            const QString file = list.at(i);
            if (FileExists(file)) {
                const QString target = JoinPath(folder, ReplaceExtension(FileNameOf(file), StoredExtension(run.engine(), file)));
                try {
                    if (!QFileInfo::exists(target))
                        WriteDecipheredCopy(run.engine(), file, target);  // another code: passed over
                } catch (const TargetExistsError &) {
                }
            }
            run.progress(i);
        }
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
