#pragma once
// The command line of veilshot: `veilshot [FILE]`, --help and --version.

#include <QString>
#include <QStringList>

#include <optional>

namespace veilshot {

// What the command line asks for: the file to open (empty: none), or an answer on the
// terminal (`out` to stdout, `err` to stderr) and the exit status that goes with it.
struct CommandLine {
    QString file;
    std::optional<int> exit;
    QString out;
    QString err;
};

// `arguments` start with the program's name. `settled` is false while the window system's own
// options may still be among them: only --help and --version are answered then, so that they
// need no display.
CommandLine ReadCommandLine(const QStringList &arguments, bool settled);

}  // namespace veilshot
