#pragma once
// Start-up: hardens the process, starts the imaging library, builds the models, the platform
// services and the main window, and runs until the main window closes.

namespace veilshot {

class TForm7;
struct PlainModel;
namespace platform { struct Platform; }

// Lets the main window's "Viewing" open the plain viewer: one at a time, owned by the main
// window, with " Cipher" and "Viewing" disabled while it exists.
void ConnectViewing(TForm7 &main, PlainModel &plain, platform::Platform &platform);

int RunApplication(int argc, char **argv);

}  // namespace veilshot
