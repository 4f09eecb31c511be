#pragma once
// The state that the windows share, in one place: owned by the application and handed to each
// window in its constructor.

#include "cipherengine.h"

#include <QString>
#include <QStringList>

namespace veilshot {

struct SharedState {
    // The key table, the code check and whether a code was entered: the cipher engine.
    cipher::CipherEngine engine;

    // The main window's folder of ciphered photos.
    QStringList FileList;  // full paths of the ".veil" files
    int FileIndex = 0;     // position of the shown file
    int LastIndex = 0;     // index of the last entry

    // The plain viewer's folder of photos, and the size of its shown photo.
    QStringList PhotoList;
    int PhotoIndex = 0;
    int PhotoLastIndex = 0;
    int PhotoWidth = 0;
    int PhotoHeight = 0;

    // The screen's size, read once when the main window is created.
    int ScreenWidth = 0;
    int ScreenHeight = 0;

    // The preview's flags, which its owner resets.
    bool PreviewKept = false;
    bool LoadStopped = false;
    bool PagingOn = false;

    // The path the removal confirmation deletes.
    QString RemoveTarget;

    // Folders the cipher and copy commands remember.
    QString LastSourceFolder;
    QString LastCipherFolder;
    QString LastDecodeFolder;

    // A cipher or decipher run is in progress; the engine serves one run at a time.
    bool RunInProgress = false;
};

}  // namespace veilshot
