// Writing through a temporary file: nothing appears before commit, nothing stays after a
// failure, and a file that must not be replaced is not.

#include "fileio.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace veilshot {
namespace {

TEST(AtomicFile, NothingAppearsUntilCommitAndNothingStaysWithout)
{
    test::TempDir dir;
    {
        AtomicFile file(dir / "out.bin");
        file.write("abc", 3);
        EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
    }
    EXPECT_TRUE(dir.entries().empty());

    AtomicFile file(dir / "out.bin");
    file.write("abc", 3);
    file.commit(AtomicFile::Mode::KeepExisting);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(test::ReadFile(dir / "out.bin").size(), 3u);
}

TEST(AtomicFile, KeepExistingRefusesATargetThatAppearedMeanwhile)
{
    test::TempDir dir;
    AtomicFile file(dir / "out.bin");
    file.write("new", 3);
    test::WriteText(dir / "out.bin", "old");  // another program got there first
    EXPECT_THROW(file.commit(AtomicFile::Mode::KeepExisting), TargetExistsError);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(test::ReadFile(dir / "out.bin"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

TEST(AtomicFile, FinishedFileHasTheUsualPermissions)
{
    test::TempDir dir;
    const mode_t saved = ::umask(022);
    AtomicFile file(dir / "out.bin");
    file.commit(AtomicFile::Mode::Replace);
    ::umask(saved);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "out.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(AtomicFile, UncreatableTargetIsACreateError)
{
    try {
        AtomicFile file("/nonexistent-folder/x.veil");
        FAIL();
    } catch (const FileError &error) {
        EXPECT_STREQ(error.what(), "Cannot create file \"/nonexistent-folder/x.veil\". No such file or directory");
    }
}

}  // namespace
}  // namespace veilshot
