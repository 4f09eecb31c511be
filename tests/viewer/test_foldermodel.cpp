// The folder model: every writer moves the position and announces it, even to where it was,
// so that whatever shows the position shows the entry there again.

#include "viewer/foldermodel.h"

#include <gtest/gtest.h>

#include <functional>

namespace veilshot {
namespace {

struct Row {
    const char *name;
    int index;                                  // in a folder of three, before
    std::function<void(FolderModel &)> write;
    int indexAfter;
    const char *current;
    friend std::ostream &operator<<(std::ostream &os, const Row &r) { return os << r.name; }
};

class FolderModelTable : public ::testing::TestWithParam<Row> {};

TEST_P(FolderModelTable, WriterMovesAndAnnounces)
{
    const Row &row = GetParam();
    FolderModel folder;
    folder.replace({"a", "b", "c"}, row.index);
    int announced = 0;
    QObject::connect(&folder, &FolderModel::currentChanged, [&announced] { ++announced; });
    row.write(folder);
    EXPECT_EQ(folder.index(), row.indexAfter);
    EXPECT_EQ(folder.current(), QString(row.current));
    EXPECT_EQ(announced, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderModelTable,
    ::testing::Values(
        Row{"SetIndex", 0, [](FolderModel &f) { f.setIndex(2); }, 2, "c"},
        Row{"SetIndexToWhereItIs", 1, [](FolderModel &f) { f.setIndex(1); }, 1, "b"},
        Row{"SetIndexOutsideTheList", 1, [](FolderModel &f) { f.setIndex(3); }, 3, ""},
        Row{"StepForwardWraps", 2, [](FolderModel &f) { f.step(false); }, 0, "a"},
        Row{"StepBackWraps", 0, [](FolderModel &f) { f.step(true); }, 2, "c"},
        Row{"ReplaceTheList", 2, [](FolderModel &f) { f.replace({"x", "y"}, 1); }, 1, "y"},
        Row{"ReplaceByAnEmptyList", 2, [](FolderModel &f) { f.replace({}, 0); }, 0, ""}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
