// veil cipher --remove-originals, run as a user runs it: the built binary on temporary folders,
// with the desktop's thumbnail cache and recent-files list in temporary folders too.

#include "common/tempdir.h"
#include "cli/veilprocess.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace veilshot::test {
namespace {

namespace fs = std::filesystem;

class RemoveOriginals : public ::testing::Test {
protected:
    RemoveOriginals()
    {
        WriteText(dir / "code.txt", "correct horse battery staple\n");
        fs::create_directory(dir / "photos");
        fs::create_directory(dir / "out");
        fs::create_directories(dir / "cache" / "thumbnails" / "normal");
        // veil inherits these: no run here touches the desktop of whoever runs the tests.
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    }
    ~RemoveOriginals() override
    {
        ::unsetenv("XDG_CACHE_HOME");
        ::unsetenv("XDG_DATA_HOME");
    }

    std::string code() const { return (dir / "code.txt").string(); }
    std::string photo(const std::string &name) const { return (dir / "photos" / name).string(); }
    std::vector<std::string> cipherRemoving(const std::vector<std::string> &names) const
    {
        std::vector<std::string> arguments{"cipher", "--remove-originals", "--code-file", code()};
        for (const std::string &name : names)
            arguments.push_back(photo(name));
        return arguments;
    }
    // What the ".veil" file of a photo deciphers to, or nothing.
    std::vector<std::uint8_t> deciphered(const std::string &name) const
    {
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");
        const std::string veil = photo(fs::path(name).replace_extension(".veil").string());
        if (Veil({"decipher", "--code-file", code(), "--into", (dir / "out").string(), veil}).exitCode != 0)
            return {};
        return ReadFile(dir / "out" / name);
    }

    TempDir dir;
};

TEST_F(RemoveOriginals, ProvenOriginalsGoAndTheRunSaysHowManyWereKeptAndWhy)
{
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    for (const std::string name : {"a.jpg", "b.jpg", "linked.jpg", "taken.jpg"}) {
        bytes[name] = RandomBytes(200000, static_cast<std::uint32_t>(name.size()));
        WriteFile(photo(name), bytes[name]);
    }
    fs::create_hard_link(photo("linked.jpg"), dir / "elsewhere.jpg");
    WriteText(photo("taken.veil"), "an earlier file");
    // The desktop's thumbnail of a.jpg, named by the MD5 of its URI.
    gchar *md5 = g_compute_checksum_for_string(G_CHECKSUM_MD5, ("file://" + photo("a.jpg")).c_str(), -1);
    const fs::path thumbnail = dir / "cache" / "thumbnails" / "normal" / (std::string(md5) + ".png");
    g_free(md5);
    WriteText(thumbnail, "a thumbnail");

    const Result run = Veil(cipherRemoving({"a.jpg", "b.jpg", "linked.jpg", "taken.jpg"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(photo("linked.jpg") + ": original kept: it has 1 other name(s) (hard links)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(photo("taken.jpg") + ": \"" + photo("taken.veil") + "\" already exists"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("veil: 2 originals removed, 2 kept\n"), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries("photos"),
              (std::vector<std::string>{"a.veil", "b.veil", "linked.jpg", "linked.veil", "taken.jpg", "taken.veil"}));
    EXPECT_EQ(deciphered("a.jpg"), bytes["a.jpg"]);
    EXPECT_EQ(deciphered("b.jpg"), bytes["b.jpg"]);
    EXPECT_EQ(ReadFile(dir / "elsewhere.jpg"), bytes["linked.jpg"]);
    EXPECT_FALSE(fs::exists(thumbnail));

    // Without the option nothing is removed.
    WriteFile(photo("c.jpg"), RandomBytes(1000));
    ASSERT_EQ(Veil({"cipher", "--code-file", code(), photo("c.jpg")}).exitCode, 0);
    EXPECT_TRUE(fs::exists(photo("c.jpg")));

    const Result help = Veil({"cipher", "--help"});
    EXPECT_NE(help.out.find("--remove-originals"), std::string::npos);
    EXPECT_NE(help.out.find("does not erase the disk"), std::string::npos);
}

// Ctrl-C during the second photo: that photo is finished and put away, the rest keep their
// originals and get no copy.
TEST_F(RemoveOriginals, AStoppedRunKeepsTheRest)
{
    if (!StraceWorks())
        GTEST_SKIP() << "strace cannot trace here";
    const std::vector<std::string> names{"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"};
    for (const std::string &name : names)
        WriteFile(photo(name), RandomBytes(50000, static_cast<std::uint32_t>(name[1])));
    const Result run = VeilProcess(cipherRemoving(names), SignalAt("linkat", "SIGINT", 2)).finish();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("stopped; 2 file(s) not done"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("veil: 2 originals removed, 2 kept\n"), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries("photos"), (std::vector<std::string>{"p1.veil", "p2.veil", "p3.jpg", "p4.jpg"}));
}

// Killed by the system at any step, a run never loses a photo: each has its original, unchanged,
// or a ".veil" file that deciphers to it.
TEST_F(RemoveOriginals, AKilledRunNeverLosesAPhoto)
{
    if (!StraceWorks())
        GTEST_SKIP() << "strace cannot trace here";
    const std::vector<std::string> names{"one.jpg", "two.jpg"};
    std::map<std::string, std::vector<std::uint8_t>> bytes;
    for (const std::string &name : names)
        bytes[name] = RandomBytes(300000, static_cast<std::uint32_t>(name.size() + name[0]));
    int killed = 0;
    for (const std::string calls : {"read", "write", "fsync", "linkat", "unlink,unlinkat", "rename"}) {
        for (int when = 1; when <= 3; ++when) {
            SCOPED_TRACE(calls + " #" + std::to_string(when));
            fs::remove_all(dir / "photos");
            fs::create_directory(dir / "photos");
            for (const std::string &name : names)
                WriteFile(photo(name), bytes[name]);
            const Result run = VeilProcess(cipherRemoving(names), SignalAt(calls, "SIGKILL", when)).finish();
            if (run.exitCode == 128 + SIGKILL)
                ++killed;
            else
                EXPECT_EQ(run.exitCode, 0) << run.err;  // the run made fewer such calls
            for (const std::string &name : names) {
                if (fs::exists(photo(name)))
                    EXPECT_EQ(ReadFile(photo(name)), bytes[name]) << name;
                else
                    EXPECT_EQ(deciphered(name), bytes[name]) << name << " is lost";
            }
        }
    }
    EXPECT_GE(killed, 12);
}

}  // namespace
}  // namespace veilshot::test
