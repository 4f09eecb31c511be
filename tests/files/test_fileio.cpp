// Writing through a temporary file: nothing appears before commit, nothing stays after a
// failure, and a file that must not be replaced is not.

#include "common/tempdir.h"
#include "files/fileio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veilshot {
namespace {

// Both ways of naming the file in the making keep the same promises.
class AtomicFile : public ::testing::TestWithParam<veilshot::AtomicFile::Naming> {
protected:
    using Mode = veilshot::AtomicFile::Mode;
    veilshot::AtomicFile make(const std::filesystem::path &target) { return veilshot::AtomicFile(target, GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Namings, AtomicFile,
                         ::testing::Values(veilshot::AtomicFile::Naming::Unnamed, veilshot::AtomicFile::Naming::Hidden),
                         [](const auto &info) {
                             return info.param == veilshot::AtomicFile::Naming::Unnamed ? "Unnamed" : "Hidden";
                         });

TEST_P(AtomicFile, NothingAppearsUntilCommitAndNothingStaysWithout)
{
    test::TempDir dir;
    {
        auto file = make(dir / "out.bin");
        file.write("abc", 3);
        EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
    }
    EXPECT_TRUE(dir.entries().empty());
    test::WriteText(dir / "out.bin", "old");
    {
        auto file = make(dir / "out.bin");
        file.write("new", 3);
        file.commit(Mode::Replace);
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(test::ReadFile(dir / "out.bin"), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    std::filesystem::remove(dir / "out.bin");
    EXPECT_TRUE(dir.entries().empty());

    auto file = make(dir / "out.bin");
    file.write("abc", 3);
    file.commit(Mode::KeepExisting);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(test::ReadFile(dir / "out.bin").size(), 3u);
}

TEST_P(AtomicFile, KeepExistingRefusesATargetThatAppearedMeanwhile)
{
    test::TempDir dir;
    auto file = make(dir / "out.bin");
    file.write("new", 3);
    test::WriteText(dir / "out.bin", "old");  // another program got there first
    EXPECT_THROW(file.commit(Mode::KeepExisting), TargetExistsError);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(test::ReadFile(dir / "out.bin"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST_P(AtomicFile, FinishedFileHasTheUsualPermissionsOrTheOwnersAloneForSecrets)
{
    using Access = veilshot::AtomicFile::Access;
    test::TempDir dir;
    const mode_t saved = ::umask(022);
    for (const Mode mode : {Mode::Replace, Mode::KeepExisting}) {
        veilshot::AtomicFile usual(dir / "usual.bin", GetParam());
        usual.commit(mode);
        veilshot::AtomicFile secret(dir / "secret.txt", GetParam(), Access::OwnerOnly);
        secret.commit(mode);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "usual.bin").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
        ASSERT_EQ(::stat((dir / "secret.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        std::filesystem::remove(dir / "usual.bin");
        std::filesystem::remove(dir / "secret.txt");
    }
    ::umask(saved);
}

TEST_P(AtomicFile, UncreatableTargetIsACreateError)
{
    try {
        auto file = make("/nonexistent-folder/x.veil");
        FAIL();
    } catch (const FileError &error) {
        EXPECT_STREQ(error.what(), "Cannot create file \"/nonexistent-folder/x.veil\". No such file or directory");
    }
}


// The program that writes through AtomicFile, run whole or killed by strace at the n-th call of
// one system call, with the usual umask (022) and `environment` added to its own. Returns its
// exit status, 128 + signal when killed, -1 without strace.
int RunWriter(const std::vector<std::string> &strace, const std::vector<std::string> &arguments,
              const std::vector<std::pair<std::string, std::string>> &environment = {})
{
    std::vector<std::string> all = strace;
    all.push_back(ATOMICWRITE_BINARY);
    all.insert(all.end(), arguments.begin(), arguments.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (auto &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (!strace.empty())
            ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // LeakSanitizer gives up under ptrace
        for (const auto &[name, value] : environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::umask(022);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// How often the writer makes each system call of a write and its commit.
std::map<std::string, int> CountCalls(const std::vector<std::string> &arguments, const std::filesystem::path &log)
{
    const int status = RunWriter({"strace", "-qq", "-y", "-o", log.string(), "-e", "trace=%file,%desc"}, arguments);
    if (status != 0)
        return {};
    std::map<std::string, int> counts;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        const auto paren = line.find('(');
        if (paren != std::string::npos && paren > 0)
            ++counts[line.substr(0, paren)];
    }
    return counts;
}

// The steps that make a write durable, in the order of a writer's strace log (strace -y names
// the file of each descriptor): "file" for an fsync of the file in the making, "name" for the
// link or renames that give it the target's name, "folder" for an fsync of the target's folder.
std::vector<std::string> DurableSteps(const std::filesystem::path &log, const std::filesystem::path &folder)
{
    const std::string folderName = std::filesystem::canonical(folder).string();
    std::vector<std::string> steps;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        std::string step;
        if (line.rfind("fsync(", 0) == 0) {
            const auto open = line.find('<'), close = line.find('>');
            step = line.substr(open + 1, close - open - 1) == folderName ? "folder" : "file";
        } else if (line.rfind("linkat(", 0) == 0 || line.rfind("rename", 0) == 0) {
            step = "name";
        }
        if (!step.empty() && (steps.empty() || steps.back() != step))
            steps.push_back(step);
    }
    return steps;
}

// A write killed at any of its steps leaves either the old target or the complete new one,
// never part of it; where the file system gives unnamed files, nothing else either. Whatever
// a killed write leaves is gone after the next write into the folder.
TEST_P(AtomicFile, WriteKilledAtEachStepLeavesNoFile)
{
    const bool unnamed = GetParam() == veilshot::AtomicFile::Naming::Unnamed;
    const std::string naming = unnamed ? "unnamed" : "hidden";
    constexpr long Size = 300000;
    const std::vector<std::uint8_t> written(Size, 'P');
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    test::TempDir logs;
    for (const std::string mode : {"keep", "replace"}) {
        test::TempDir dir;
        const std::string target = (dir / "photo.jpg").string();
        if (mode == "replace")
            test::WriteText(dir / "photo.jpg", "old");
        const auto counts = CountCalls({naming, mode, target, std::to_string(Size)}, logs / "calls");
        if (counts.empty())
            GTEST_SKIP() << "strace cannot trace here";
        ASSERT_EQ(test::ReadFile(dir / "photo.jpg"), written);
        // The file's bytes reach the disk before it has the target's name, and the name before
        // the write is done.
        EXPECT_EQ(DurableSteps(logs / "calls", dir.path()), (std::vector<std::string>{"file", "name", "folder"}))
            << mode;
        // The write is the program's last work: the last few calls of each kind are its steps.
        for (const auto &[call, count] : counts) {
            for (int n = std::max(1, count - 7); n <= count; ++n) {
                const std::string at = mode + ", " + call + " #" + std::to_string(n);
                if (mode == "replace")
                    test::WriteText(dir / "photo.jpg", "old");
                else
                    std::filesystem::remove(dir / "photo.jpg");
                const int status = RunWriter({"strace", "-qq", "-o", "/dev/null", "-e", "trace=" + call, "-e",
                                              "inject=" + call + ":signal=SIGKILL:when=" + std::to_string(n)},
                                             {naming, mode, target, std::to_string(Size)});
                if (status != 128 + SIGKILL)
                    continue;  // the call came before the program's own code, or not at all
                const auto content = test::ReadFile(dir / "photo.jpg");
                const bool there = std::filesystem::exists(dir / "photo.jpg");
                EXPECT_TRUE(content == written || (mode == "replace" ? content == old : !there)) << at;
                std::set<std::string> leftovers;
                for (const std::string &name : dir.entries()) {
                    if (name != "photo.jpg")
                        leftovers.insert(name);
                }
                if (unnamed && mode == "keep") {
                    EXPECT_TRUE(leftovers.empty()) << at << ": " << *leftovers.begin();
                }
                // What a killed write leaves under any other name is the owner's alone.
                for (const std::string &name : leftovers) {
                    struct stat st {};
                    ASSERT_EQ(::lstat((dir / name).c_str(), &st), 0) << at;
                    EXPECT_EQ(st.st_mode & 0777, 0600u) << at << ": " << name;
                }
                EXPECT_EQ(RunWriter({}, {naming, "replace", (dir / "other.jpg").string(), "1"}), 0);
                const auto expected = there ? std::vector<std::string>{"other.jpg", "photo.jpg"}
                                            : std::vector<std::string>{"other.jpg"};
                EXPECT_EQ(dir.entries(), expected) << at;
                std::filesystem::remove(dir / "other.jpg");
            }
        }
    }
}

// File systems that keep no permissions refuse to set them (FUSE ones with ENOSYS or ENOTSUP,
// others with EPERM): the write goes on, and the file stays as it was made, the owner's alone.
TEST_P(AtomicFile, WriteGoesOnWhereFileSystemKeepsNoPermissions)
{
    const std::string naming = GetParam() == veilshot::AtomicFile::Naming::Unnamed ? "unnamed" : "hidden";
    for (const int error : {ENOSYS, ENOTSUP, EPERM}) {
        for (const std::string mode : {"keep", "replace"}) {
            const std::string at = std::string(::strerrorname_np(error)) + ", " + mode;
            test::TempDir dir;
            if (mode == "replace")
                test::WriteText(dir / "photo.jpg", "old");
            const int status = RunWriter({}, {naming, mode, (dir / "photo.jpg").string(), "70000"},
                                         {{"LD_PRELOAD", FCHMODFAILS_LIBRARY},
                                          {"FCHMOD_FAILS_WITH", std::to_string(error)},
                                          {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
            EXPECT_EQ(status, 0) << at;
            EXPECT_EQ(test::ReadFile(dir / "photo.jpg"), std::vector<std::uint8_t>(70000, 'P')) << at;
            EXPECT_EQ(dir.entries(), std::vector<std::string>{"photo.jpg"}) << at;
            struct stat st {};
            ASSERT_EQ(::stat((dir / "photo.jpg").c_str(), &st), 0) << at;
            EXPECT_EQ(st.st_mode & 0777, 0600u) << at;  // the refused call was made
        }
    }
}

TEST(Temporaries, OnlyLeftoversOfKilledWritesAreRemoved)
{
    test::TempDir dir;
    // Names a killed write leaves, and names that only look alike.
    const std::vector<std::string> leftovers{".photo.jpg.veilshot-part-Ab12Cd", ".a.veil.veilshot-part-ZZZZZZ"};
    const std::vector<std::string> kept{"photo.jpg.veilshot-part-Ab12Cd", ".photo.jpg.veilshot-part-Ab12C",
                                        ".photo.jpg.veilshot-part-Ab12C!", ".photo.jpg.Ab12Cd", ".photo.jpg.123.part",
                                        ".veilshot-part-Ab12Cd", ".photo.jpg.veilshot-part-Ab12Cde"};
    for (const auto &name : leftovers)
        test::WriteText(dir / name, "plain");
    for (const auto &name : kept)
        test::WriteText(dir / name, "the user's");
    // One in the making: its writer is alive and holds it.
    const std::string live = ".b.jpg.veilshot-part-Live01";
    test::WriteText(dir / live, "being written");
    const int held = ::open((dir / live).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // A folder and a link with a leftover's name are not files in the making.
    std::filesystem::create_directory(dir / ".c.jpg.veilshot-part-Folder");
    std::filesystem::create_symlink(dir / leftovers[0], dir / ".d.jpg.veilshot-part-Link01");

    for (const auto &name : leftovers)
        EXPECT_TRUE(IsTemporaryName(name)) << name;
    for (const auto &name : kept)
        EXPECT_FALSE(IsTemporaryName(name)) << name;
    {
        veilshot::AtomicFile file(dir / "new.jpg");  // every write tidies its folder first
        file.commit(veilshot::AtomicFile::Mode::KeepExisting);
    }
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), {live, ".c.jpg.veilshot-part-Folder", ".d.jpg.veilshot-part-Link01", "new.jpg"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.entries(), expected);
    ::close(held);
    RemoveLeftoverTemporaries(dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir / live));
}

// Opening a named pipe for reading waits for a writer, for ever if none comes: anything that is
// not a regular file is refused before that.
TEST(InputFile, RefusesWhatIsNotARegularFile)
{
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "socket.jpg").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    std::filesystem::create_directory(dir / "folder.jpg");

    const std::vector<std::pair<std::filesystem::path, std::string>> cases{
        {dir / "pipe.jpg", "It is a named pipe, not a file."},
        {dir / "socket.jpg", "It is a socket, not a file."},
        {"/dev/null", "It is a device, not a file."},
        {dir / "folder.jpg", "Is a directory"},
    };
    for (const auto &[file, reason] : cases) {
        auto opening = std::async(std::launch::async, [file = file] {
            try {
                InputFile in(file);
                return std::string("opened");
            } catch (const FileError &error) {
                return std::string(error.what());
            }
        });
        if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(file.c_str(), O_WRONLY | O_NONBLOCK));  // lets the waiting open go
            ADD_FAILURE() << file << " kept the reader waiting";
        }
        EXPECT_EQ(opening.get(), "Cannot open file \"" + file.string() + "\". " + reason);
    }
    ::close(sock);
}

}  // namespace
}  // namespace veilshot
