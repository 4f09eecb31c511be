#pragma once
// The veil command's line read into what a run does: its command, its options and its files.

#include "cipher/cipherengine.h"

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace veilshot::cli {

struct Options {
    std::string command;
    cipher::Format format = cipher::Format::Sealed;
    std::optional<std::filesystem::path> into;
    std::optional<std::filesystem::path> codeFile;
    std::optional<std::filesystem::path> newCodeFile;
    bool newCode = false;  // a new code for reseal, from newCodeFile or the terminal
    bool force = false;
    bool removeOriginals = false;
    std::vector<std::filesystem::path> files;
};

// The run the arguments (without the program name) ask for; else the exit code once the help or
// the version is shown (Done) or a usage error is reported on stderr (Usage).
std::variant<Options, int> ParseArguments(const std::vector<std::string> &arguments);

}  // namespace veilshot::cli
