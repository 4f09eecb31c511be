// The veil command, run as a user runs it: the built binary on temporary folders.

#include "common/tempdir.h"
#include "common/veilprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <chrono>
#include <csignal>
#include <thread>
#include <sys/stat.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veilshot::test {
namespace {

namespace fs = std::filesystem;

class VeilCommand : public ::testing::Test {
protected:
    VeilCommand()
    {
        WriteText(dir / "code.txt", "correct horse\r\nbattery staple\r\n");
        WriteText(dir / "other-code.txt", "\xEF\xBB\xBF" "another code");
        fs::create_directory(dir / "photos");
        fs::create_directory(dir / "out");
    }

    std::string code() const { return (dir / "code.txt").string(); }
    std::string photo(const std::string &name) const { return (dir / "photos" / name).string(); }

    TempDir dir;
};

TEST_F(VeilCommand, CipherThenDecipherGivesEveryFileBackByteForByte)
{
    const std::vector<std::pair<std::string, std::size_t>> files = {
        {"a.JPG", 5000}, {"b.png", 0}, {"noextension", 99}, {"c.tiff", 70000}};
    std::vector<std::string> args = {"cipher", "--code-file", code()};
    for (const auto &[name, size] : files) {
        WriteFile(photo(name), RandomBytes(size, static_cast<std::uint32_t>(size)));
        args.push_back(photo(name));
    }
    Result ciphered = Veil(args);
    ASSERT_EQ(ciphered.exitCode, 0) << ciphered.err;
    EXPECT_NE(ciphered.err.find("[4/4]"), std::string::npos) << "progress with several files";
    EXPECT_EQ(dir.entries("photos"),
              (std::vector<std::string>{"a.JPG", "a.veil", "b.png", "b.veil", "c.tiff", "c.veil", "noextension",
                                        "noextension.veil"}));

    Result deciphered = Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("a.veil"),
                              photo("b.veil"), photo("c.veil"), photo("noextension.veil")});
    ASSERT_EQ(deciphered.exitCode, 0) << deciphered.err;
    // The stored extension is lower-cased, so a.JPG comes back as a.jpg.
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{"a.jpg", "b.png", "c.tiff", "noextension"}));
    EXPECT_EQ(ReadFile(dir / "out" / "a.jpg"), ReadFile(photo("a.JPG")));
    EXPECT_EQ(ReadFile(dir / "out" / "c.tiff"), ReadFile(photo("c.tiff")));
    EXPECT_EQ(ReadFile(dir / "out" / "noextension"), ReadFile(photo("noextension")));
    EXPECT_TRUE(ReadFile(dir / "out" / "b.png").empty());
}

TEST_F(VeilCommand, ExistingTargetsAreRefusedUnlessForcedAndTheOthersGoOn)
{
    WriteFile(photo("a.jpg"), RandomBytes(100, 1));
    WriteFile(photo("b.jpg"), RandomBytes(100, 2));
    WriteText(photo("a.veil"), "keep me");

    Result refused = Veil({"cipher", "--code-file", code(), photo("a.jpg"), photo("b.jpg")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("a.veil\" already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(photo("a.veil")).size(), 7u);
    EXPECT_EQ(ReadFile(photo("b.veil")).size(), SealedSize(100));

    Result forced = Veil({"cipher", "--force", "--code-file", code(), photo("a.jpg")});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(ReadFile(photo("a.veil")).size(), SealedSize(100));

    // Deciphering back over the source's own name: refused unless forced.
    const auto original = ReadFile(photo("b.jpg"));
    WriteText(photo("b.jpg"), "edited since");
    Result decipherRefused = Veil({"decipher", "--code-file", code(), photo("b.veil")});
    EXPECT_EQ(decipherRefused.exitCode, 1);
    EXPECT_NE(decipherRefused.err.find("b.jpg\" already exists"), std::string::npos) << decipherRefused.err;
    EXPECT_EQ(ReadFile(photo("b.jpg")).size(), 12u);
    Result decipherForced = Veil({"decipher", "--force", "--code-file", code(), photo("b.veil")});
    EXPECT_EQ(decipherForced.exitCode, 0) << decipherForced.err;
    EXPECT_EQ(ReadFile(photo("b.jpg")), original);
}

TEST_F(VeilCommand, RefusedFilesAreNamedPerFileAndCheckTellsWhy)
{
    WriteFile(photo("mine.jpg"), RandomBytes(300));
    WriteFile(photo("theirs.jpg"), RandomBytes(300));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("mine.jpg")}).exitCode, 0);
    ASSERT_EQ(Veil({"cipher", "--code-file", (dir / "other-code.txt").string(), photo("theirs.jpg")}).exitCode, 0);
    WriteText(photo("short.veil"), "tiny");
    // A photo renamed: its first bytes are no check that any code makes.
    WriteText(photo("photo.veil"), std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00", 14) + "pixels");

    Result decipher = Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("theirs.veil"),
                            photo("short.veil"), photo("photo.veil"), photo("mine.veil")});
    EXPECT_EQ(decipher.exitCode, 1);
    for (const std::string &line : {photo("theirs.veil") + ": ciphered under another code\n",
                                   photo("short.veil") + ": not a .veil file (shorter than the 14-byte header)\n",
                                   photo("photo.veil") + ": not a .veil file\n"})
        EXPECT_NE(decipher.err.find(line), std::string::npos) << decipher.err;
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{"mine.jpg"});

    Result check = Veil({"check", "--code-file", code(), photo("mine.veil"), photo("theirs.veil"), photo("short.veil"),
                         photo("photo.veil"), photo("absent.veil")});
    EXPECT_EQ(check.exitCode, 1);
    EXPECT_EQ(check.out, photo("mine.veil") + ": ok\n" + photo("theirs.veil") + ": other code\n" +
                             photo("short.veil") + ": not a .veil file (shorter than the 14-byte header)\n" +
                             photo("photo.veil") + ": not a .veil file\n" + photo("absent.veil") +
                             ": Cannot open file \"" + photo("absent.veil") + "\". No such file or directory\n");
}

// "A.CR2" and "A.JPG" both make "A.veil": --force replaces files that were there before the run,
// never the one the run has just written.
TEST_F(VeilCommand, ForceNeverReplacesWhatTheRunItselfWrote)
{
    WriteFile(photo("A.CR2"), RandomBytes(200, 1));
    WriteFile(photo("A.JPG"), RandomBytes(300, 2));
    WriteText(photo("A.veil"), "from an earlier run");
    Result forced = Veil({"cipher", "--force", "--code-file", code(), photo("A.CR2"), photo("A.JPG")});
    EXPECT_EQ(forced.exitCode, 1);
    EXPECT_NE(forced.err.find(photo("A.JPG") + ": \"" + photo("A.veil") + "\" already exists: this run wrote it"),
              std::string::npos)
        << forced.err;
    EXPECT_EQ(ReadFile(photo("A.veil")).size(), SealedSize(200));  // the first photo's, replacing the earlier run's

    // The same through --into and another spelling of the folder, and when deciphering.
    Result again = Veil({"decipher", "--force", "--code-file", code(), "--into", (dir / "out").string(),
                         photo("A.veil"), (dir / "photos" / "." / "A.veil").string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("already exists: this run wrote it"), std::string::npos) << again.err;
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{"A.cr2"});
}

// A run killed by the system at the step where a finished file gets its name: with --force the
// deciphered photo then stands under a hidden temporary name, plaintext, until the next run that
// writes into the folder removes it; without --force it never had a name at all.
TEST_F(VeilCommand, WhatAKilledRunLeftIsRemovedByTheNextRun)
{
    if (VeilProcess({"--help"}, {"strace", "-qq", "-o", "/dev/null"}).finish().exitCode != 0)
        GTEST_SKIP() << "strace cannot trace here";
    WriteFile(photo("a.jpg"), RandomBytes(100000, 1));
    WriteFile(photo("b.jpg"), RandomBytes(100, 2));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("a.jpg"), photo("b.jpg")}).exitCode, 0);
    WriteText(dir / "out" / "a.jpg", "old");
    const auto killedAt = [](const std::string &call) {
        return std::vector<std::string>{"strace", "-qq", "-o", "/dev/null", "-e", "trace=" + call,
                                        "-e", "inject=" + call + ":signal=SIGKILL:when=1"};
    };

    Result forced = VeilProcess({"decipher", "--force", "--code-file", code(), "--into", (dir / "out").string(),
                                 photo("a.veil")},
                                killedAt("rename"))
                        .finish();
    ASSERT_EQ(forced.exitCode, 128 + SIGKILL);
    std::vector<std::string> left = dir.entries("out");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].rfind(".a.jpg.", 0), 0u) << left[0];
    EXPECT_EQ(ReadFile(dir / "out" / left[0]), ReadFile(photo("a.jpg")));  // what must not stay
    EXPECT_EQ(ReadFile(dir / "out" / "a.jpg").size(), 3u);

    Result next = Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("b.veil")});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(dir.entries("out"), (std::vector<std::string>{"a.jpg", "b.jpg"}));

    std::filesystem::remove(dir / "out" / "a.jpg");
    Result plain = VeilProcess({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("a.veil")},
                               killedAt("linkat"))
                       .finish();
    ASSERT_EQ(plain.exitCode, 128 + SIGKILL);
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{"b.jpg"});
}

// A named pipe given as a photo, a ".veil" file or the code file is refused at once; without
// the refusal the run would wait for a writer for ever.
TEST_F(VeilCommand, NamedPipesAreRefusedWithoutWaiting)
{
    for (const char *name : {"piped.jpg", "pipe.veil", "pipe.txt"})
        ASSERT_EQ(::mkfifo((dir / "photos" / name).c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> arguments;
        std::string pipe;
        std::string expected;
    };
    const std::vector<Case> cases{
        {{"cipher", "--code-file", code(), photo("piped.jpg")}, photo("piped.jpg"), photo("piped.jpg") + ": "},
        {{"decipher", "--code-file", code(), photo("pipe.veil")}, photo("pipe.veil"), photo("pipe.veil") + ": "},
        {{"check", "--code-file", photo("pipe.txt"), photo("pipe.veil")}, photo("pipe.txt"), "veil: "},
    };
    for (const Case &c : cases) {
        std::atomic<bool> done = false;
        std::thread watchdog([&] {
            for (int i = 0; i < 100 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!done)  // lets a waiting open go, so the test fails instead of hanging
                ::close(::open(c.pipe.c_str(), O_WRONLY | O_NONBLOCK));
        });
        Result result = Veil(c.arguments);
        done = true;
        watchdog.join();
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.err.find(c.expected + "Cannot open file \"" + c.pipe + "\". It is a named pipe, not a file."),
                  std::string::npos)
            << result.err;
    }
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{});
}

// The stored extension is not covered by the code check: whoever made the file chose it. One
// that could point outside the folder, cut or break the name marks the file as damaged.
TEST_F(VeilCommand, AStoredExtensionThatIsNoExtensionIsRefusedAndNothingIsWritten)
{
    WriteFile(photo("mine.jpg"), RandomBytes(300));
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("mine.jpg")}).exitCode, 0);
    const auto good = ReadFile(photo("mine.veil"));
    const std::vector<std::string> hostile = {std::string("/../q"), std::string("/x"), std::string(".j\0pg", 5),
                                              std::string(".j\npg"), std::string(".."), std::string("."),
                                              std::string("jpg"), std::string(".a\x85")};
    const std::vector<std::uint8_t> lengths = {5, 2, 5, 5, 2, 1, 3, 3, 7, 255};  // the last two: longer than the field
    std::filesystem::create_directories(dir / "safe" / "out");
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::string extension = i < hostile.size() ? hostile[i] : std::string(".jpgxx");
        SCOPED_TRACE("stored extension " + std::to_string(i) + " of length " + std::to_string(lengths[i]));
        auto bytes = good;
        bytes[7] = lengths[i];
        std::fill(bytes.begin() + 8, bytes.begin() + 14, 0);
        std::copy(extension.begin(), extension.end(), bytes.begin() + 8);
        WriteFile(photo("hostile.veil"), bytes);
        const Result result = Veil({"decipher", "--code-file", code(), "--into", (dir / "safe" / "out").string(),
                                    photo("hostile.veil")});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find("The file is damaged"), std::string::npos) << result.err;
        EXPECT_TRUE(dir.entries("safe/out").empty());
        EXPECT_EQ(dir.entries("safe"), std::vector<std::string>{"out"});
    }
}

struct UsageCase {
    const char *name;
    friend std::ostream &operator<<(std::ostream &os, const UsageCase &c) { return os << c.name; }
    std::vector<std::string> arguments;
    int exitCode;
    std::string inOutput;
};

class VeilUsage : public VeilCommand, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(VeilUsage, AnswersWithTheRightExitCode)
{
    std::vector<std::string> arguments;
    for (std::string arg : GetParam().arguments) {
        if (arg == "CODE")
            arg = code();
        if (arg == "BLANK") {
            WriteText(dir / "blank.txt", "  \r\n");
            arg = (dir / "blank.txt").string();
        }
        arguments.push_back(arg);
    }
    const Result result = Veil(arguments);
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.err;
    EXPECT_NE((result.out + result.err).find(GetParam().inOutput), std::string::npos) << result.out << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, VeilUsage,
    ::testing::Values(UsageCase{"NoCommand", {}, 2, "no command"},
                      UsageCase{"UnknownCommand", {"encrypt", "x"}, 2, "unknown command"},
                      UsageCase{"MainHelp", {"--help"}, 0, "Usage: veil COMMAND"},
                      UsageCase{"CommandHelp", {"decipher", "--help"}, 0, "Usage: veil decipher"},
                      UsageCase{"NoFiles", {"cipher", "--code-file", "CODE"}, 2, "no files"},
                      // A mistyped option: the parser's own words and its pointer to the help.
                      UsageCase{"UnknownOption", {"cipher", "--code", "secret", "x"}, 2,
                                "veil: The following argument was not expected: --code\nRun with --help"},
                      UsageCase{"CheckTakesNoInto", {"check", "--into", "/tmp", "x"}, 2, "not expected: --into"},
                      UsageCase{"CheckTakesNoForce", {"check", "--force", "x"}, 2, "not expected: --force"},
                      UsageCase{"UnknownMainOption", {"--verbose"}, 2, "not expected: --verbose"},
                      UsageCase{"IntoWithoutFolder", {"cipher", "x", "--into"}, 2, "--into: 1 required DIR missing"},
                      UsageCase{"CodeFileWithoutFile", {"check", "x", "--code-file"}, 2, "--code-file: 1 required"},
                      UsageCase{"Version", {"--version"}, 0, "veil 0.1"},
                      UsageCase{"HelpWord", {"help"}, 0, "Usage: veil COMMAND"},
                      UsageCase{"ShortHelp", {"-h"}, 0, "Run 'veil --version' for the version."},
                      UsageCase{"CheckHelp", {"check", "-h"}, 0, "Usage: veil check [--code-file FILE] FILE.veil..."},
                      UsageCase{"HelpBeforeAnError", {"cipher", "--help", "--bogus"}, 0, "Usage: veil cipher"},
                      UsageCase{"CommandNotFirst", {"x.jpg", "cipher"}, 2, "unknown command 'x.jpg'"},
                      UsageCase{"IntoWithEquals", {"cipher", "--into=/no/such/dir", "x"}, 2, "is not a folder"},
                      UsageCase{"LastIntoCounts", {"cipher", "--into", "/tmp", "--into", "/no/such/dir", "x"}, 2,
                                "\"/no/such/dir\" is not a folder"},
                      UsageCase{"DoubleDashEndsOptions", {"cipher", "--code-file", "CODE", "--", "--force"}, 1,
                                "Cannot open file \"--force\""},
                      UsageCase{"OptionsAfterFiles", {"check", "/no/a.veil", "--code-file", "CODE"}, 1,
                                "/no/a.veil: Cannot open file"},
                      UsageCase{"IntoMustBeAFolder", {"cipher", "--into", "/no/such/dir", "x"}, 2, "is not a folder"},
                      UsageCase{"NoTerminalForTheCode", {"cipher", "x"}, 2, "--code-file"},
                      UsageCase{"BlankCode", {"cipher", "--code-file", "BLANK", "x"}, 2, "There is no code"},
                      UsageCase{"MissingCodeFile", {"cipher", "--code-file", "/no/code.txt", "x"}, 2,
                                "Cannot open file \"/no/code.txt\""},
                      UsageCase{"MissingSourceFails", {"cipher", "--code-file", "CODE", "/no/photo.jpg"}, 1,
                                "Cannot open file \"/no/photo.jpg\". No such file or directory"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(VeilCommand, CtrlCStopsAfterTheFileInHandAndLeavesNoPartialFile)
{
    std::vector<std::string> args = {"cipher", "--code-file", code(), "--into", (dir / "out").string()};
    const auto bytes = RandomBytes(2 * 1024 * 1024);
    for (int i = 0; i < 60; ++i) {
        WriteFile(photo("p" + std::to_string(i) + ".jpg"), bytes);
        args.push_back(photo("p" + std::to_string(i) + ".jpg"));
    }
    VeilProcess veil(args);
    veil.waitForError("[2/60]");
    veil.interrupt();
    const Result result = veil.finish();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("stopped"), std::string::npos) << result.err;
    const auto written = dir.entries("out");
    EXPECT_GE(written.size(), 1u);
    EXPECT_LT(written.size(), 60u);
    for (const auto &name : written) {
        EXPECT_TRUE(name.ends_with(".veil") && name[0] == 'p') << "left behind: " << name;
        EXPECT_EQ(fs::file_size(dir / "out" / name), SealedSize(bytes.size()));
    }
}

// Both formats from one command line: sealed by default, the keyed one when asked for, and
// both read back by decipher, check and reseal.
TEST_F(VeilCommand, FormatsAreChosenOnCipherAndReadAlike)
{
    const auto bytes = RandomBytes(150000, 4);
    WriteFile(photo("s.jpg"), bytes);
    WriteFile(photo("k.jpg"), bytes);
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("s.jpg")}).exitCode, 0);
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("k.jpg")}).exitCode, 0);
    EXPECT_EQ(ReadFile(photo("s.veil")).size(), SealedSize(bytes.size()));
    EXPECT_EQ(ReadFile(photo("k.veil")).size(), bytes.size() + 14);

    const Result checked = Veil({"check", "--code-file", code(), photo("s.veil"), photo("k.veil")});
    EXPECT_EQ(checked.out, photo("s.veil") + ": ok\n" + photo("k.veil") + ": ok\n");
    const Result other = Veil({"check", "--code-file", (dir / "other-code.txt").string(), photo("s.veil"), photo("k.veil")});
    EXPECT_EQ(other.out, photo("s.veil") + ": other code\n" + photo("k.veil") + ": other code\n");
    ASSERT_EQ(Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("s.veil"), photo("k.veil")})
                  .exitCode,
              0);
    EXPECT_EQ(ReadFile(dir / "out" / "s.jpg"), bytes);
    EXPECT_EQ(ReadFile(dir / "out" / "k.jpg"), bytes);

    const Result wrong = Veil({"cipher", "--format=v2", "--code-file", code(), photo("s.jpg")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--format"), std::string::npos) << wrong.err;

    // One changed byte in a sealed file: check and decipher say it is damaged, nothing is written.
    auto changed = ReadFile(photo("s.veil"));
    changed[100000] ^= 1;
    WriteFile(photo("s.veil"), changed);
    const Result damaged = Veil({"check", "--code-file", code(), photo("s.veil")});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.out.find("The file is damaged"), std::string::npos) << damaged.out;
    fs::remove(dir / "out" / "s.jpg");
    const Result refused = Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), photo("s.veil")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(dir.entries("out"), std::vector<std::string>{"k.jpg"});
}

// A run never writes over a file it reads, --force or not, and gives no advice to force it.
TEST_F(VeilCommand, ARunNeverWritesOverItsOwnInput)
{
    WriteFile(photo("x.veil"), RandomBytes(5000, 9));  // a photo that happens to be named .veil
    const auto photoBytes = ReadFile(photo("x.veil"));
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force);
        std::vector<std::string> args = {"cipher", "--code-file", code(), photo("x.veil")};
        if (force)
            args.insert(args.begin() + 1, "--force");
        const Result ciphered = Veil(args);
        EXPECT_EQ(ciphered.exitCode, 1);
        EXPECT_NE(ciphered.err.find("is the file being read"), std::string::npos) << ciphered.err;
        EXPECT_EQ(ciphered.err.find("--force"), std::string::npos) << ciphered.err;
        EXPECT_EQ(ReadFile(photo("x.veil")), photoBytes);
    }

    // A ".veil" file whose stored extension is ".veil" deciphers onto its own name.
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), "--into", (dir / "out").string(), photo("x.veil")}).exitCode, 0);
    const auto ciphered = ReadFile(dir / "out" / "x.veil");
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force);
        std::vector<std::string> args = {"decipher", "--code-file", code(), (dir / "out" / "x.veil").string()};
        if (force)
            args.insert(args.begin() + 1, "--force");
        const Result deciphered = Veil(args);
        EXPECT_EQ(deciphered.exitCode, 1);
        EXPECT_NE(deciphered.err.find("is the file being read"), std::string::npos) << deciphered.err;
        EXPECT_EQ(deciphered.err.find("--force"), std::string::npos) << deciphered.err;
        EXPECT_EQ(ReadFile(dir / "out" / "x.veil"), ciphered);
    }
}

// A code file is read only when it could hold a code: over 1 MiB it is refused before reading.
TEST_F(VeilCommand, AHugeCodeFileIsRefusedUnread)
{
    {
        std::ofstream big(dir / "big.txt", std::ios::binary);
        big.seekp((1 << 20));
        big.put('x');
    }
    WriteFile(photo("a.jpg"), RandomBytes(10));
    const Result refused = Veil({"cipher", "--code-file", (dir / "big.txt").string(), photo("a.jpg")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("larger than 1 MiB"), std::string::npos) << refused.err;
    EXPECT_EQ(dir.entries("photos"), std::vector<std::string>{"a.jpg"});
}

// reseal turns keyed files into sealed ones in place. Killed at any of its steps, it leaves the
// keyed file or the sealed one, never a deciphered photo; a file in the making that a kill left
// under a hidden name holds only sealed bytes, and the next run removes it.
TEST_F(VeilCommand, ResealReplacesKeyedFilesAndSurvivesAKillAtEveryStep)
{
    const auto bytes = RandomBytes(300000, 5);
    WriteFile(photo("old.jpg"), bytes);
    ASSERT_EQ(Veil({"cipher", "--format=v1", "--code-file", code(), photo("old.jpg")}).exitCode, 0);
    fs::remove(photo("old.jpg"));
    const auto keyed = ReadFile(photo("old.veil"));

    const bool traced = VeilProcess({"--help"}, {"strace", "-qq", "-o", "/dev/null"}).finish().exitCode == 0;
    for (const std::string call : {"write", "pread64", "fsync", "linkat", "rename"}) {
        if (!traced)
            break;
        SCOPED_TRACE(call);
        WriteFile(photo("old.veil"), keyed);
        const Result killed =
            VeilProcess({"reseal", "--code-file", code(), photo("old.veil")},
                        {"strace", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                         "inject=" + call + ":signal=SIGKILL:when=1"})
                .finish();
        EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
        for (const std::string &name : dir.entries("photos")) {
            const auto held = ReadFile(photo(name));
            EXPECT_EQ(std::search(held.begin(), held.end(), bytes.begin(), bytes.begin() + 64), held.end())
                << name << " holds the photo in plain";
            if (name != "old.veil") {
                EXPECT_EQ(name.rfind(".old.veil.", 0), 0u) << "left behind: " << name;
            }
        }
        ASSERT_EQ(Veil({"decipher", "--force", "--code-file", code(), "--into", (dir / "out").string(), photo("old.veil")})
                      .exitCode,
                  0);
        EXPECT_EQ(ReadFile(dir / "out" / "old.jpg"), bytes);
        ASSERT_EQ(Veil({"reseal", "--code-file", code(), photo("old.veil")}).exitCode, 0);
        EXPECT_EQ(dir.entries("photos"), std::vector<std::string>{"old.veil"});
    }

    WriteFile(photo("old.veil"), keyed);
    const Result resealed = Veil({"reseal", "--code-file", code(), photo("old.veil")});
    ASSERT_EQ(resealed.exitCode, 0) << resealed.err;
    EXPECT_EQ(ReadFile(photo("old.veil")).size(), SealedSize(bytes.size()));
    const Result again = Veil({"reseal", "--code-file", code(), photo("old.veil")});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.err.find("sealed already"), std::string::npos) << again.err;
    const Result other = Veil({"reseal", "--code-file", (dir / "other-code.txt").string(), photo("old.veil")});
    EXPECT_EQ(other.exitCode, 1);
    ASSERT_EQ(Veil({"decipher", "--force", "--code-file", code(), "--into", (dir / "out").string(), photo("old.veil")})
                  .exitCode,
              0);
    EXPECT_EQ(ReadFile(dir / "out" / "old.jpg"), bytes);
}

}  // namespace
}  // namespace veilshot::test
