#pragma once
// The veil command: ciphers, deciphers and checks ".veil" files without any window.

#include <string>
#include <vector>

namespace veilshot::cli {

enum ExitCode { Done = 0, SomeFailed = 1, Usage = 2 };

// Runs the command line (arguments without the program name). Writes results to stdout,
// progress and errors to stderr.
int RunVeil(const std::vector<std::string> &arguments);

}  // namespace veilshot::cli
