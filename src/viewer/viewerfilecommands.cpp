// The commands both viewers have on the shown file: moving it, copying it into a sub-folder,
// and removing it after the confirmation.

#include "viewer/viewerwindow.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "platform/platform.h"
#include "viewer/removeconfirm.h"
#include "viewer/texts.h"

#include <QFileInfo>

namespace veilshot {

// --- Commands on the shown file --------------------------------------------------------------

std::optional<QString> ViewerWindow::fileForCommand()
{
    if (model_.runInProgress)
        return std::nullopt;
    slideShow_->stop();
    const QString current = model_.folder.current();
    if (!current.isEmpty() && FileExists(current))
        return current;
    platform_.messages.inform(this, QLatin1String(NoFileMessage));
    return std::nullopt;
}

void ViewerWindow::moveCurrent(bool proposeFullPath)
{
    const auto current = fileForCommand();
    if (!current)
        return;
    const QString path = *current;
    const auto chosen = platform_.dialogs.saveFile(
        this, {.title = QString::fromUtf8(MoveTitle), .startFolder = FolderOf(path),
               .proposedName = proposeFullPath ? path : FileNameOf(path)});
    activateWindow();
    if (!chosen)
        return;
    const QString target = EnsureExtension(*chosen, ExtensionOf(path));
    platform::WriteNew(platform_.messages, this, target, QLatin1String(SuchNameExistsMessage),
                       [&] { MoveFileTo(path, target); });
}

void ViewerWindow::copyFile(const QString &file, const CopyRule &rule)
{
    const QString start = StillThereOr(rule.lastFolder, FolderOf(file));
    const auto chosen =
        platform_.dialogs.saveFile(this, {.title = rule.title, .startFolder = start, .proposedName = rule.proposedName});
    activateWindow();
    if (!chosen)
        return;
    const QString named = EnsureExtension(*chosen, rule.extension);
    const QString target = JoinPath(MakeSubfolder(FolderOf(named), rule.subfolder), FileNameOf(named));
    platform::WriteNew(platform_.messages, this, target, QLatin1String(rule.existsMessage), [&] {
        rule.lastFolder = FolderOf(named);
        rule.write(file, target);
    });
}

void ViewerWindow::removeCurrent()
{
    model_.RemoveTarget = model_.folder.current();
    if (!fileForCommand())
        return;
    TForm8 confirm(model_.RemoveTarget, platform_, this);
    confirm.exec();
}

}  // namespace veilshot
