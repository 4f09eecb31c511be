// Listing a viewer's folder: natural order, the names that count, and the chosen file's place.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "files/folderlisting.h"

#include <gtest/gtest.h>

#include <QDir>

namespace veilshot {
namespace {

using test::Q;

bool IsVeil(const QString &path)
{
    return LowerExtension(path) == QLatin1String(".veil");
}


TEST(FolderListing, NaturalCaseInsensitiveOrderWithFoldersAndUpperCaseExtensions)
{
    test::TempDir dir;
    for (const char *name : {"photo10.veil", "photo2.veil", "Photo1.VEIL", "notes.txt", "b.veil.txt", "a.veil",
                             "photo02b.veil", "Beach 9.veil", "beach 10.veil"})
        test::WriteText(dir / name, "x");
    std::filesystem::create_directory(dir / "sub.veil");
    const FolderList list = GatherFolder(Q(dir / "photo2.veil"), IsVeil);
    QStringList names;
    for (const QString &path : list.paths.toList())
        names << path.mid(path.lastIndexOf('/') + 1);
    EXPECT_EQ(names, (QStringList{"a.veil", "Beach 9.veil", "beach 10.veil", "Photo1.VEIL", "photo2.veil",
                                  "photo02b.veil", "photo10.veil", "sub.veil"}));
    EXPECT_EQ(list.index, 4);
}

TEST(FolderListing, AChosenNameNotListedExactlyIsOnePastTheEnd)
{
    test::TempDir dir;
    test::WriteText(dir / "one.veil", "x");
    test::WriteText(dir / "typed.txt", "x");
    EXPECT_EQ(GatherFolder(Q(dir / "one.veil"), IsVeil).index, 0);
    EXPECT_EQ(GatherFolder(Q(dir / "ONE.veil"), IsVeil).index, 1);  // letter case counts
    EXPECT_EQ(GatherFolder(Q(dir / "typed.txt"), IsVeil).index, 1);
}

TEST(FolderListing, KeepsThousandsOfEntries)
{
    test::TempDir dir;
    for (int i = 0; i < 1001; ++i)
        test::WriteText(dir / ("p" + std::to_string(i) + ".veil"), "");
    const FolderList list = GatherFolder(Q(dir / "p1000.veil"), IsVeil);
    EXPECT_EQ(list.paths.size(), 1001);
    EXPECT_EQ(list.index, 1000);
    EXPECT_EQ(list.paths.at(0).mid(list.paths.at(0).lastIndexOf('/') + 1), "p0.veil");
}

TEST(FolderListing, PathRules)
{
    EXPECT_EQ(FolderOf("/x.veil"), "/");
    EXPECT_EQ(FolderOf("/photos/x.veil"), "/photos");
    EXPECT_EQ(JoinPath("/", "x.veil"), "/x.veil");
    EXPECT_EQ(JoinPath("/photos", "x.veil"), "/photos/x.veil");
    EXPECT_EQ(LowerExtension("/a.b/NAME"), "");
    EXPECT_EQ(LowerExtension("/a/b.tar.GZ"), ".gz");
    EXPECT_EQ(LowerExtension("/a/.veil"), ".veil");
}

}  // namespace
}  // namespace veilshot
