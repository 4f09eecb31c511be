// The "Presurvey" window's commands on the picked thumbnail's photo: viewing it, copying it,
// naming it and turning it.

#include "preview/previewwindow.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "imaging/imaging.h"
#include "platform/platform.h"
#include "viewer/offthread.h"
#include "viewer/texts.h"
#include "viewer/viewerrules.h"

#include <QCoreApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace veilshot {

bool PreviewWindow::PickCell()
{
    CellPicked = false;
    const QPoint at = Image1->mapFromGlobal(platform_.windows.pointer());
    const int count = owner_.folder.count();
    const PagingModel &paging = owner_.preview;
    const int cell = CellAt(at, paging.columns(), paging.lastCell(count), ScrollBox1->verticalScrollBar()->value());
    if (cell < 0)
        return false;
    const int index = paging.gridBase() + cell;
    if (index >= count || !FileExists(owner_.folder.at(index)))
        return false;
    CellPicked = true;
    owner_.folder.setIndex(index);
    return true;
}

void PreviewWindow::view(bool bySpace)
{
    if (!CellPicked)
        return;
    close();
    emit viewRequested(bySpace);
}

void PreviewWindow::copy()
{
    if (!CellPicked)
        return;
    const QString name = owner_.folder.current();
    if (name.isEmpty() || !FileExists(name)) {
        platform_.messages.inform(this, QLatin1String(NoFileMessage));
        return;
    }
    // Refused before a name is asked for: nothing could be written under it.
    if (const QString refusal = photos_.copyRefusal(name); !refusal.isEmpty()) {
        platform_.messages.inform(this, refusal);
        return;
    }
    const QString ext = photos_.copyExtension(name);
    const QString proposed = photos_.copyProposal(name);
    const auto chosen = platform_.dialogs.saveFile(
        this, {.title = QString::fromUtf8(CopyThumbnailTitle), .startFolder = FolderOf(proposed), .proposedName = FileNameOf(proposed)});
    activateWindow();
    if (!chosen)
        return;
    QString target = EnsureExtension(*chosen, ext);
    // The name offered, kept as it is: the copy goes into a sub-folder beside the photo.
    if (target == proposed)
        target = JoinPath(MakeSubfolder(FolderOf(target), QLatin1String(CopiedFolder)), FileNameOf(target));
    platform::WriteNew(platform_.messages, this, target, QLatin1String(SuchNameExistsMessage), [&] {
        QCoreApplication::processEvents();
        photos_.writeCopy(name, target);
    });
}

void PreviewWindow::name()
{
    if (!CellPicked)
        return;
    const QString name = owner_.folder.current();
    const std::uint64_t size = InputFile(LocalPath(name)).size();
    const QString folder = FolderOf(name);
    platform_.messages.inform(this, QStringList{folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'),
                                                FileNameOf(name), QString::number(size / 1000) + QStringLiteral(" KB"),
                                                QString::number(owner_.folder.index())}
                                        .join(QLatin1Char('\n')));
}

void PreviewWindow::turn(bool left)
{
    if (!CellPicked || !kind_.turns || loading_)
        return;
    const int cell = owner_.folder.index() - Layout.start;
    if (cell < 0 || cell >= used_ || cell >= cells_)
        return;
    const QString name = owner_.folder.current();
    if (WithoutEncoder(name) && FileExists(name)) {
        platform_.messages.inform(this, QString::fromUtf8(NotTurnedMessage));
        return;
    }
    const QString mime = TurnMimeFor(name);
    if (mime.isEmpty() || !FileExists(name))
        return;
    const auto say = [this](const QString &status) {
        Label1->setText(status.isNull() ? QString::fromLatin1(PreviewHelpLine) : status);
    };
    try {
        RunOnePhoto([&](imaging::Progress &progress) { imaging::TurnFile(name, left, imaging::FindEncoderByMime(mime), &progress); },
                    TurnWatch(platform_.keys, say));
    } catch (const imaging::WorkStopped &) {
        say(QString::fromUtf8(TurnStopped));
        return;
    }
    // The cell shows the new orientation at once, without a new load.
    const QRect frame = CellFrame(cell, Layout.columns);
    drawFrame(frame);
    drawThumbnail(frame, photos_.thumbnails(thumbnailBox())(name));
    showGrid();
}

}  // namespace veilshot
