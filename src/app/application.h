#pragma once
// Start-up: hardens the process, starts the imaging library, builds the models, the platform
// services and the main window, and runs until the main window closes.

class QString;

namespace veilshot {

class TForm7;
struct MainModel;
struct PlainModel;
namespace cipher { class CipherEngine; }
namespace platform { struct Platform; }

// Lets the main window's "Viewing" open the plain viewer: one at a time, owned by the main
// window, with " Cipher" and "Viewing" disabled while it exists.
void ConnectViewing(TForm7 &main, PlainModel &plain, platform::Platform &platform);

// Lets the main window's "Presurvey" open the preview of its ciphered photos.
void ConnectPresurvey(TForm7 &main, MainModel &model, cipher::CipherEngine &engine, platform::Platform &platform);

// For a photo named on the command line: opens the plain viewer and starts decoding the photo
// there, so that the decode runs while the windows are built and shown. Anything else waits
// for OpenFromCommandLine.
void StartViewing(TForm7 &main, const QString &file);

// Opens the file named on the command line as if it were dropped on the window that shows
// its kind: a ".veil" file on the main window (the code window comes first when no code has
// been entered, and the file shows as soon as the code is in), a photo on the plain viewer,
// which "Viewing" opens for it. Anything else is ignored without a word, as a drop of it is.
void OpenFromCommandLine(TForm7 &main, const MainModel &model, const cipher::CipherEngine &engine, const QString &file);

// Runs the program: `veilshot [FILE]`, or --help or --version on the terminal.
int RunApplication(int argc, char **argv);

}  // namespace veilshot
