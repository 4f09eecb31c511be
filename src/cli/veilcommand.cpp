#include "cli/veilcommand.h"

#include "cli/veiloptions.h"
#include "cipher/cipherengine.h"
#include "cipher/codetext.h"
#include "cipher/privacy.h"
#include "files/fileio.h"
#include "files/originals.h"
#include "files/securememory.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <utility>
#include <variant>
#include <string_view>
#include <termios.h>
#include <unistd.h>

namespace veilshot::cli {

namespace fs = std::filesystem;
using cipher::CipherEngine;

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void OnInterrupt(int)
{
    g_stopRequested = 1;
}

// Ctrl-C asks the run to stop after the file in hand; a second one is no different, since a
// file is never left half-written anyway.
class InterruptGuard {
public:
    InterruptGuard()
    {
        g_stopRequested = 0;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptGuard() { ::sigaction(SIGINT, &previous_, nullptr); }

private:
    struct sigaction previous_ {};
};

// What reseal says once it has turned keyed files into sealed ones under the same code.
constexpr std::string_view ChangeTheCode =
    "veil: the keyed files were made under this code, and any copy of one (a backup, a file\n"
    "kept elsewhere) still tests a guess at it quickly. Change the code: run 'veil reseal\n"
    "--new-code' on the whole collection, and never mix formats under one code.\n";

// Asks for a code on the terminal with echo off. std::nullopt when there is no terminal.
std::optional<std::u16string> PromptForCode(std::string_view prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return std::nullopt;
    termios saved {};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    [[maybe_unused]] auto written = ::write(tty, prompt.data(), prompt.size());
    std::string line;
    char ch = 0;
    while (::read(tty, &ch, 1) == 1 && ch != '\n')
        line.push_back(ch);
    if (isTerminal)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    written = ::write(tty, "\n", 1);
    ::close(tty);
    std::u16string code = Utf8ToUtf16(line);
    SecureWipe(line.data(), line.size());
    return code;
}

// Builds the key table from the code file or the terminal; `role` names the code in messages
// ("code", "new code"). A new code typed wrong would lock every file away: it is typed twice.
// Returns an exit code on failure.
std::optional<int> EnterCode(CipherEngine &engine, const std::optional<fs::path> &codeFile, const Options &options,
                             const std::string &role)
{
    std::optional<std::u16string> code;
    try {
        code = codeFile ? ReadCodeFile(*codeFile) : PromptForCode(role == "code" ? "Code: " : "New code: ");
    } catch (const FileError &error) {
        std::cerr << "veil: " << error.what() << '\n';
        return Usage;
    }
    if (!code) {
        std::cerr << "veil: no terminal to ask for the " << role << "; give it with --"
                  << (role == "code" ? "code-file" : "new-code-file") << " FILE\n";
        return Usage;
    }
    bool same = true;
    if (!codeFile && role != "code") {
        auto again = PromptForCode("The new code again: ");
        same = again == code;
        if (again)
            SecureWipe(again->data(), again->size() * sizeof(char16_t));
    }
    const auto result = same ? engine.BuildKeyTable(*code) : CipherEngine::BuildResult::NoCode;
    SecureWipe(code->data(), code->size() * sizeof(char16_t));
    if (!same)
        std::cerr << "veil: the new code was not typed the same twice; nothing was done\n";
    else if (result == CipherEngine::BuildResult::NoCode)
        std::cerr << "veil: There is no " << role << '\n';
    if (result == CipherEngine::BuildResult::NoCode)
        return Usage;
    engine.setWriteFormat(options.format);
    return std::nullopt;
}

fs::path TargetFolder(const Options &options, const fs::path &file)
{
    if (options.into)
        return *options.into;
    const fs::path parent = file.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

AtomicFile::Mode WriteMode(const Options &options)
{
    return options.force ? AtomicFile::Mode::Replace : AtomicFile::Mode::KeepExisting;
}

bool Exists(const fs::path &path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// What a refused file is; `otherCode` is the command's own words for a file of another code.
std::string RefusalText(cipher::Refusal refusal, const char *otherCode)
{
    switch (refusal) {
    case cipher::Refusal::TooShort: return "not a .veil file (shorter than the 14-byte header)";
    case cipher::Refusal::NotCiphered: return "not a .veil file";
    default: return otherCode;
    }
}

// What a run keeps from file to file. `written`: the files it has written, which it never
// replaces, --force or not (two photos "A.CR2" and "A.JPG" both make "A.veil"); `inputs`: every
// file it reads, the code files among them, which it never writes over.
struct RunState {
    FileIds written;
    FileIds inputs;
    const CipherEngine *newCode = nullptr;  // reseal's, when one was given
    int resealed = 0;                       // keyed files sealed under the same code
};

// Refuses a target that is one of the run's inputs, or that exists, unless --force allows it and
// this run did not write it.
std::string Refuse(const Options &options, const RunState &run, const fs::path &input, const fs::path &target)
{
    try {
        cipher::RefuseOwnInput(input, target, &run.inputs);
    } catch (const FileError &error) {
        return error.what();
    }
    if (run.written.contains(target))
        return "\"" + target.string() + "\" already exists: this run wrote it from another file";
    if (!options.force && Exists(target))
        return "\"" + target.string() + "\" already exists (use --force to replace it)";
    return {};
}

// Outcome of one file: an empty string when done, else the text to report.
using FileAction = std::function<std::string(CipherEngine &, const Options &, RunState &, const fs::path &)>;

fs::path CipherTarget(const Options &options, const fs::path &file)
{
    return TargetFolder(options, file) / file.filename().replace_extension(".veil");
}

std::string CipherOne(CipherEngine &engine, const Options &options, RunState &run, const fs::path &file)
{
    const fs::path target = CipherTarget(options, file);
    if (std::string refused = Refuse(options, run, file, target); !refused.empty())
        return refused;
    engine.extension = cipher::Extension::fromFileName(file);
    engine.Cipfoto(file, target, WriteMode(options), {}, &run.inputs);
    run.written.add(target);
    return {};
}

std::string DecipherOne(CipherEngine &engine, const Options &options, RunState &run, const fs::path &file)
{
    constexpr auto OtherCode = "ciphered under another code";
    const cipher::Examined examined = engine.examine(file);
    if (examined.refusal != cipher::Refusal::None)
        return RefusalText(examined.refusal, OtherCode);
    cipher::Refusal refusal = cipher::Refusal::None;
    fs::path name = file.filename().replace_extension();
    name += examined.extension.utf8();
    const fs::path target = TargetFolder(options, file) / name;
    if (std::string refused = Refuse(options, run, file, target); !refused.empty())
        return refused;
    if (!engine.decipherToFile(file, target, WriteMode(options), &refusal, &run.inputs))
        return RefusalText(refusal, OtherCode);
    run.written.add(target);
    return {};
}

std::string ResealOne(CipherEngine &engine, const Options &, RunState &run, const fs::path &file)
{
    bool wasSealed = false;
    const bool keyed = cipher::FormatOf(file) == cipher::Format::Keyed;
    const cipher::Refusal refusal = engine.reseal(file, wasSealed, run.newCode);
    if (refusal != cipher::Refusal::None)
        return RefusalText(refusal, "ciphered under another code");
    if (wasSealed)
        std::cerr << file.string() << (run.newCode ? ": sealed under the new code already" : ": sealed already")
                  << ", left as it is\n";
    else if (keyed && !run.newCode)
        ++run.resealed;
    return {};
}

int RunOverFiles(CipherEngine &engine, const Options &options, FileAction action,
                 const CipherEngine *newCode = nullptr)
{
    RunState run;
    run.newCode = newCode;
    for (const auto &input : {options.codeFile, options.newCodeFile}) {
        if (input)
            run.inputs.add(*input);
    }
    for (const fs::path &file : options.files)
        run.inputs.add(file);
    InterruptGuard interrupts;
    const bool showProgress = options.files.size() > 1;
    int failures = 0;
    std::size_t index = 0;
    for (const fs::path &file : options.files) {
        if (g_stopRequested) {
            std::cerr << "veil: stopped; " << options.files.size() - index << " file(s) not done\n";
            return SomeFailed;
        }
        ++index;
        if (showProgress)
            std::cerr << '[' << index << '/' << options.files.size() << "] " << file.string() << '\n';
        std::string problem;
        try {
            problem = action(engine, options, run, file);
        } catch (const TargetExistsError &error) {
            problem = error.what();
        } catch (const FileError &error) {
            problem = error.what();
        } catch (const std::exception &error) {
            problem = error.what();
        }
        if (!problem.empty()) {
            ++failures;
            std::cerr << file.string() << ": " << problem << '\n';
        }
    }
    if (run.resealed > 0)
        std::cerr << ChangeTheCode;
    return failures ? SomeFailed : Done;
}

// cipher --remove-originals: each photo's copy is proven, and then the photo removed, behind the
// run, on threads of their own, while the next photos are ciphered and the page cache still holds
// both; the recent-files list is edited once, at the end. A photo that keeps its original is told
// once the photos after it are ciphered, or at the end.
int RunCipherRemovingOriginals(CipherEngine &engine, const Options &options)
{
    PutAway originals;
    std::size_t told = 0;
    const auto tellKept = [&originals, &told] {
        const std::vector<OriginalKept> &kept = originals.kept();
        for (; told < kept.size(); ++told)
            std::cerr << kept[told].photo.string() << ": original kept: " << kept[told].why << '\n';
    };
    const auto cipherAndPutAway = [&originals, &tellKept](CipherEngine &engine, const Options &options, RunState &run,
                                                          const fs::path &file) {
        const PhotoStamp read = PhotoStampOf(file);
        if (std::string refused = CipherOne(engine, options, run, file); !refused.empty())
            return refused;
        const auto decipher = [&engine](const fs::path &copy, const PutAway::Sink &sink) {
            return engine.decipherInPieces(copy, sink) == cipher::Refusal::None;
        };
        originals.proveBehind(file, read, CipherTarget(options, file), decipher, true);
        tellKept();  // the photos before, proved and put away meanwhile
        return std::string();
    };
    int exit = RunOverFiles(engine, options, cipherAndPutAway);
    originals.finish();
    tellKept();
    if (told > 0)
        exit = SomeFailed;
    for (const std::string &left : originals.tracesLeft()) {
        std::cerr << "veil: " << left << '\n';
        exit = SomeFailed;
    }
    const std::size_t removed = originals.removed().size();
    std::cerr << "veil: " << removed << (removed == 1 ? " original" : " originals") << " removed, "
              << options.files.size() - removed << " kept\n";
    return exit;
}

int RunCheck(CipherEngine &engine, const Options &options)
{
    int failures = 0;
    for (const fs::path &file : options.files) {
        std::string verdict;
        try {
            const cipher::Refusal refusal = engine.verify(file);
            verdict = refusal == cipher::Refusal::None ? "ok" : RefusalText(refusal, "other code");
        } catch (const std::exception &error) {
            verdict = error.what();
        }
        if (verdict != "ok")
            ++failures;
        std::cout << file.string() << ": " << verdict << '\n';
    }
    return failures ? SomeFailed : Done;
}

}  // namespace

int RunVeil(const std::vector<std::string> &arguments)
{
    HardenProcess();
    auto parsed = ParseArguments(arguments);
    if (const int *exit = std::get_if<int>(&parsed))
        return *exit;
    const Options &options = std::get<Options>(parsed);

    CipherEngine engine;
    if (auto failed = EnterCode(engine, options.codeFile, options, "code"))
        return *failed;
    if (options.command == "check")
        return RunCheck(engine, options);
    if (options.command == "reseal") {
        CipherEngine newCode;
        if (options.newCode) {
            if (auto failed = EnterCode(newCode, options.newCodeFile, options, "new code"))
                return *failed;
        }
        return RunOverFiles(engine, options, ResealOne, options.newCode ? &newCode : nullptr);
    }
    if (options.command == "cipher" && options.removeOriginals)
        return RunCipherRemovingOriginals(engine, options);
    return RunOverFiles(engine, options, options.command == "cipher" ? CipherOne : DecipherOne);
}

}  // namespace veilshot::cli
