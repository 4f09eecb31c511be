#pragma once
// The state of a viewer, one model per viewer: owned by the application, handed to the
// viewer's window and to the windows that work on its folder (preview, tools).

#include <QSize>
#include <QString>
#include <QStringList>

namespace veilshot {

// A viewer's folder: the full paths of the files of its kind and the position of the shown
// one. FileList, FileIndex and LastIndex in the main window; PhotoList, PhotoIndex and
// PhotoLastIndex in the plain viewer.
struct FolderModel {
    QStringList List;
    int Index = 0;

    int LastIndex() const { return int(List.size()) - 1; }
    bool InList() const { return Index >= 0 && Index < List.size(); }
    // The entry at the position, or "" when the position is outside the list.
    QString Current() const { return InList() ? List[Index] : QString(); }
};

struct ViewerModel {
    FolderModel folder;

    // The flags of the viewer's thumbnail preview, which the viewer resets.
    bool PreviewKept = false;
    bool LoadStopped = false;
    bool PagingOn = false;

    // A dropped file waiting for the open command (the main window asks for the code first).
    QString DroppedPath;
    bool dropped = false;

    // The path the removal confirmation deletes.
    QString RemoveTarget;

    // A command that writes files is running; one at a time.
    bool RunInProgress = false;
};

// The main window: the viewer of ciphered photos.
struct MainModel : ViewerModel {
    // The screen's size, read once when the main window is created; the other windows use it.
    QSize Screen;

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
