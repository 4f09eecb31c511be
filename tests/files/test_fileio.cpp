// Writing through a temporary file: nothing appears before commit, nothing stays after a
// failure, and a file that must not be replaced is not.

#include "fileio.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

}  // namespace
}  // namespace veilshot
