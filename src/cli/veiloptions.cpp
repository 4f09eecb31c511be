#include "cli/veiloptions.h"

#include "cli/veilcommand.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <iostream>
#include <string_view>
#include <utility>

namespace veilshot::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view MainHelp =
    "Usage: veil COMMAND [OPTIONS] FILE...\n"
    "Ciphers photos into \".veil\" files and back, with the code you type.\n"
    "\n"
    "Commands:\n"
    "  cipher     cipher each FILE into NAME.veil\n"
    "  decipher   write the original file back from each FILE.veil\n"
    "  check      tell for each FILE.veil whether it was ciphered under the code\n"
    "  reseal     turn each FILE.veil of the older keyed format into a sealed one,\n"
    "             or seal each anew under a new code\n"
    "\n"
    "Run 'veil COMMAND --help' for a command's options.\n"
    "Run 'veil --version' for the version.\n"
    "The code is asked for on the terminal, with echo off, or read from --code-file.\n"
    "It is never taken from an argument or the environment.\n"
    "Exit status: 0 all done, 1 some file refused or failed, 2 usage error.\n";

constexpr std::string_view CipherHelp =
    "Usage: veil cipher [--into DIR] [--force] [--format=sealed|v1] [--remove-originals]\n"
    "                   [--code-file FILE] FILE...\n"
    "Ciphers each FILE into DIR/NAME.veil, where NAME is the file's name without its\n"
    "extension; the extension is stored inside, so deciphering gives it back.\n"
    "\n"
    "  --into DIR        write into DIR (default: each file's own folder)\n"
    "  --force           replace an existing .veil file (default: refuse it, go on);\n"
    "                    never one this run wrote itself, nor the file it reads\n"
    "  --format=sealed   the sealed format (the default): a key stretched from the code,\n"
    "                    and every file checked for changes when it is read\n"
    "  --format=v1       the older keyed format, for versions of Veilshot before the\n"
    "                    sealed one; weaker (see the manual page)\n"
    "  --remove-originals  once FILE.veil, read back and deciphered, gives back FILE\n"
    "                    byte for byte, remove FILE (not to a trash), its thumbnails\n"
    "                    and its recent-files entries; a FILE that fails the check,\n"
    "                    was changed or has another name stays, named with why.\n"
    "                    This does not erase the disk (see the manual page)\n"
    "  --code-file FILE  read the code from a text file (UTF-8, UTF-16 or Latin-1)\n"
    "  --help            show this text\n"
    "\n"
    "Ctrl-C stops after the file in hand; no partial file is ever left behind.\n";

constexpr std::string_view DecipherHelp =
    "Usage: veil decipher [--into DIR] [--force] [--code-file FILE] FILE.veil...\n"
    "Writes the original file of each FILE.veil as NAME plus its stored extension,\n"
    "byte for byte. Files ciphered under another code, and files that are not .veil\n"
    "files, are refused; the others go on.\n"
    "\n"
    "  --into DIR        write into DIR (default: each file's own folder)\n"
    "  --force           replace an existing file (default: refuse it, go on);\n"
    "                    never one this run wrote itself, nor the file it reads\n"
    "  --code-file FILE  read the code from a text file (UTF-8, UTF-16 or Latin-1)\n"
    "  --help            show this text\n"
    "\n"
    "Ctrl-C stops after the file in hand; no partial file is ever left behind.\n";

constexpr std::string_view CheckHelp =
    "Usage: veil check [--code-file FILE] FILE.veil...\n"
    "Prints one line per file: \"ok\" when it was ciphered under the code, \"other code\"\n"
    "when under another, \"not a .veil file\" when it is none, or the error that kept it\n"
    "from being read. A sealed file is read whole, so one that was changed or cut is\n"
    "reported damaged; the older keyed format has no such check.\n"
    "\n"
    "  --code-file FILE  read the code from a text file (UTF-8, UTF-16 or Latin-1)\n"
    "  --help            show this text\n";

constexpr std::string_view ResealHelp =
    "Usage: veil reseal [--code-file FILE] [--new-code | --new-code-file FILE] FILE.veil...\n"
    "Turns each FILE.veil of the older keyed format into a sealed file in its place.\n"
    "Each is deciphered in memory, sealed into a file that has no name yet, read back\n"
    "and checked, and only then put in the old file's place, with its owner, group and\n"
    "permissions: a failed or stopped run leaves the old file or the sealed one, and\n"
    "never a deciphered photo on the disk. Files that are sealed already are left as\n"
    "they are. A symbolic link, or a file with other names (hard links), is refused:\n"
    "the keyed bytes would live on under the other names.\n"
    "\n"
    "A keyed file lets a guess at the code be tested far faster than a sealed one, and\n"
    "a code found that way opens every sealed file under it too. After resealing, leave\n"
    "the old code behind: reseal under a new code, and never mix formats under one code.\n"
    "\n"
    "  --code-file FILE      read the code from a text file (UTF-8, UTF-16 or Latin-1)\n"
    "  --new-code            seal every file the code opens, keyed or sealed, anew under\n"
    "                        a new code, asked for twice on the terminal\n"
    "  --new-code-file FILE  the same, with the new code read from a text file\n"
    "  --help                show this text\n";
int UsageError(const std::string &message)
{
    std::cerr << "veil: " << message << "\nTry 'veil --help'.\n";
    return Usage;
}

// A fixed text as a command's whole help.
std::function<std::string(const CLI::App *, std::string, CLI::AppFormatMode)> FixedHelp(std::string_view text)
{
    return [text](const CLI::App *, std::string, CLI::AppFormatMode) { return std::string(text); };
}

}  // namespace

std::variant<Options, int> ParseArguments(const std::vector<std::string> &arguments)
{
    CLI::App app("", "veil");
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", "veil " VEILSHOT_VERSION);
    app.formatter_fn(FixedHelp(MainHelp));
    app.failure_message([](const CLI::App *failed, const CLI::Error &error) {
        return "veil: " + CLI::FailureMessage::simple(failed, error);
    });
    // Words that name no command land here, so they can be named in the error.
    std::vector<std::string> others;
    app.add_option("others", others)->group("");

    Options options;
    std::vector<std::string> files;
    std::string into, codeFile, newCodeFile, format = "sealed";
    const std::pair<const char *, std::string_view> commands[] = {
        {"cipher", CipherHelp}, {"decipher", DecipherHelp}, {"check", CheckHelp}, {"reseal", ResealHelp}};
    for (const auto &[name, help] : commands) {
        CLI::App *command = app.add_subcommand(name);
        command->formatter_fn(FixedHelp(help));
        command->callback([&options, command] { options.command = command->get_name(); });
        if (command->get_name() == "cipher" || command->get_name() == "decipher") {
            command->add_option("--into", into)->type_name("DIR")->take_last();
            command->add_flag("--force", options.force);
        }
        if (command->get_name() == "cipher") {
            command->add_option("--format", format)->type_name("sealed|v1")->take_last();
            command->add_flag("--remove-originals", options.removeOriginals);
        }
        if (command->get_name() == "reseal") {
            command->add_flag("--new-code", options.newCode);
            command->add_option("--new-code-file", newCodeFile)->type_name("FILE")->take_last();
        }
        command->add_option("--code-file", codeFile)->type_name("FILE")->take_last();
        command->add_option("files", files)->type_name("FILE");
    }

    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError &error) {
        const int exit = app.exit(error);
        return exit == static_cast<int>(CLI::ExitCodes::Success) ? Done : Usage;
    }
    if (!others.empty()) {
        if (others.front() == "help" && options.command.empty()) {
            std::cout << MainHelp;
            return Done;
        }
        return UsageError("unknown command '" + others.front() + "'");
    }
    if (options.command.empty())
        return UsageError("no command given");
    for (std::string &file : files)
        options.files.emplace_back(std::move(file));
    const CLI::App &command = *app.get_subcommand(options.command);
    const auto given = [&command](const char *name) {
        const CLI::Option *option = command.get_option_no_throw(name);
        return option && option->count() > 0;
    };
    if (given("--into"))
        options.into = into;
    if (given("--code-file"))
        options.codeFile = codeFile;
    if (given("--new-code-file")) {
        options.newCodeFile = newCodeFile;
        options.newCode = true;
    }
    if (format == "v1")
        options.format = cipher::Format::Keyed;
    else if (format != "sealed")
        return UsageError("--format: \"" + format + "\" is no format; give sealed or v1");
    if (options.files.empty())
        return UsageError("no files given");
    if (options.into) {
        std::error_code ec;
        if (!fs::is_directory(*options.into, ec))
            return UsageError("--into: \"" + options.into->string() + "\" is not a folder");
    }
    return options;
}

}  // namespace veilshot::cli
