#pragma once
// Start-up: hardens the process, starts the imaging library, builds the models, the platform
// services and the main window, and runs until the main window closes.

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

int RunApplication(int argc, char **argv);

}  // namespace veilshot
