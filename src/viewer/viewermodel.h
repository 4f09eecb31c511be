#pragma once
// The state of a viewer, one model per viewer: owned by the application, handed to the
// viewer's window and to the windows that work on its folder (preview, tools).

#include "viewer/foldermodel.h"
#include "viewer/pagingmodel.h"

#include <QString>

namespace veilshot {

// A dropped file waiting for the open command (the main window asks for the code first).
struct PendingDrop {
    QString DroppedPath;
    bool dropped = false;
};

struct ViewerModel {
    FolderModel folder;
    PagingModel preview;  // the thumbnail preview's paging through the folder
    PendingDrop drop;

    // The path the removal confirmation deletes.
    QString RemoveTarget;

    // A command that writes files is running; one at a time.
    bool runInProgress = false;
};

// The main window: the viewer of ciphered photos.
struct MainModel : ViewerModel {
    // Folders the cipher and copy commands remember.
    QString LastSourceFolder;
    QString LastCipherFolder;
    QString LastDecodeFolder;
};

// The plain viewer: its list outlives the window, so a later viewer finds the earlier one's.
struct PlainModel : ViewerModel {
    // The full pixel size of the shown photo, which the scale tool reads.
    int PhotoWidth = 0;
    int PhotoHeight = 0;
};

}  // namespace veilshot
