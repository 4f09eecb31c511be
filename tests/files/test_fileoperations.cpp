// Moving, copying and removing files, and the name rules of the commands that write files.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "files/fileio.h"
#include "files/fileoperations.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <sys/stat.h>

namespace veilshot {
namespace {

using test::Q;


struct NameRule {
    const char *name;
    QString path;
    QString extension;
    QString replaced;
    QString ensured;
    friend std::ostream &operator<<(std::ostream &os, const NameRule &r) { return os << r.name; }
};

class NameRules : public ::testing::TestWithParam<NameRule> {};

TEST_P(NameRules, ReplaceAndEnsureExtensions)
{
    EXPECT_EQ(ReplaceExtension(GetParam().path, GetParam().extension), GetParam().replaced);
    EXPECT_EQ(EnsureExtension(GetParam().path, GetParam().extension), GetParam().ensured);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NameRules,
    ::testing::Values(NameRule{"PhotoToVeil", "/p/a.JPG", ".veil", "/p/a.veil", "/p/a.JPG.veil"},
                      NameRule{"NoExtension", "/p/b", ".veil", "/p/b.veil", "/p/b.veil"},
                      NameRule{"TextTyped", "/p/b.txt", ".veil", "/p/b.veil", "/p/b.txt.veil"},
                      NameRule{"CaseCounts", "/p/x.JPEG", ".jpeg", "/p/x.jpeg", "/p/x.JPEG.jpeg"},
                      NameRule{"SameExtension", "/p/x.jpeg", ".jpeg", "/p/x.jpeg", "/p/x.jpeg"},
                      NameRule{"DotInFolderOnly", "/p.q/name", ".png", "/p.q/name.png", "/p.q/name.png"},
                      NameRule{"EmptyStoredExtension", "/p/photo.veil", "", "/p/photo", "/p/photo.veil"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileOperations, MoveWithinAFolderAndAcrossFileSystems)
{
    test::TempDir dir;
    for (bool across : {false, true}) {
        test::WriteText(dir / "a.jpg", "photo bytes");
        MoveFileTo(Q(dir / "a.jpg"), Q(dir / "b.jpg"), across);
        EXPECT_FALSE(std::filesystem::exists(dir / "a.jpg"));
        EXPECT_EQ(test::ReadFile(dir / "b.jpg").size(), 11u);
        std::filesystem::remove(dir / "b.jpg");
        EXPECT_TRUE(dir.entries().empty()) << "nothing left behind";
    }
}

TEST(FileOperations, MoveToAnotherRealFileSystem)
{
    struct stat tmp {}, shm {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(std::filesystem::temp_directory_path().c_str(), &tmp) != 0 ||
        tmp.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second file system to move to";
    test::TempDir dir;
    const std::filesystem::path target = "/dev/shm/veilshot-move-test.jpg";
    std::filesystem::remove(target);
    test::WriteFile(dir / "a.jpg", test::RandomBytes(300000));
    const auto bytes = test::ReadFile(dir / "a.jpg");
    MoveFileTo(Q(dir / "a.jpg"), Q(target));
    EXPECT_FALSE(std::filesystem::exists(dir / "a.jpg"));
    EXPECT_EQ(test::ReadFile(target), bytes);
    std::filesystem::remove(target);
}

TEST(FileOperations, AMoveThatCannotBeDoneKeepsEverything)
{
    test::TempDir dir;
    test::WriteText(dir / "a.jpg", "mine");
    test::WriteText(dir / "b.jpg", "theirs");
    for (bool across : {false, true}) {
        EXPECT_THROW(MoveFileTo(Q(dir / "a.jpg"), Q(dir / "b.jpg"), across), TargetExistsError);
        EXPECT_THROW(MoveFileTo(Q(dir / "a.jpg"), Q(dir / "no" / "c.jpg"), across), FileError);
        EXPECT_THROW(MoveFileTo(Q(dir / "gone.jpg"), Q(dir / "d.jpg"), across), FileError);
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(test::ReadFile(dir / "b.jpg").size(), 6u);
}

TEST(FileOperations, CopyRemoveAndSubfolders)
{
    test::TempDir dir;
    test::WriteText(dir / "empty.jpg", "");
    const QString copies = MakeSubfolder(Q(dir.path()), "The copied files");
    EXPECT_EQ(MakeSubfolder(Q(dir.path()), "The copied files"), copies);  // a second time it is there
    CopyFileTo(Q(dir / "empty.jpg"), copies + "/empty.jpg");
    EXPECT_TRUE(FileExists(copies + "/empty.jpg"));
    EXPECT_THROW(CopyFileTo(Q(dir / "empty.jpg"), copies + "/empty.jpg"), TargetExistsError);
    RemoveFile(copies + "/empty.jpg");
    EXPECT_FALSE(FileExists(copies + "/empty.jpg"));
    EXPECT_THROW(RemoveFile(copies + "/empty.jpg"), FileError);
    test::WriteText(dir / "blocker", "");
    EXPECT_THROW(MakeSubfolder(Q(dir.path()), "blocker"), FileError);
}

TEST(FileOperations, ARememberedFolderServesWhileItIsAFolder)
{
    test::TempDir dir;
    test::WriteText(dir / "file", "");
    const QString here = Q(dir.path());
    for (const auto &[remembered, expected] : std::vector<std::pair<QString, QString>>{
             {here, here}, {"", "start"}, {Q(dir / "gone"), "start"}, {Q(dir / "file"), "start"}})
        EXPECT_EQ(StillThereOr(remembered, "start"), expected) << remembered.toStdString();
    EXPECT_EQ(StillThereOr(Q(dir / "gone")), QString());
}

}  // namespace
}  // namespace veilshot
