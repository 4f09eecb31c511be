#pragma once
// The application object: starts the imaging library, hardens the process, creates the
// shared state, the platform services and the main window, and runs until it closes.

namespace veilshot {

int RunApplication(int argc, char **argv);

}  // namespace veilshot
