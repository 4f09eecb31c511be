// Which photos a ciphering run takes and where they go, for one photo, several picked ones and
// All, over a folder with a photo already ciphered, a text file, a ".veil" file and a folder
// named like a photo.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "mainwin/cipherplan.h"

#include <gtest/gtest.h>

#include <ostream>

namespace veilshot {

std::ostream &operator<<(std::ostream &os, const CipherJob &job)
{
    return os << job.source.toStdString() << " -> " << job.target.toStdString() << " @" << job.progress;
}

namespace {

struct Job {
    const char *source;  // in "plain"
    const char *target;  // in "out"
    int progress;
};

struct Row {
    const char *name;
    std::vector<const char *> picked;  // in "plain"
    bool all;
    bool single;
    std::vector<Job> jobs;
    int maximum;
    friend std::ostream &operator<<(std::ostream &os, const Row &r) { return os << r.name; }
};

class CipherPlanTable : public ::testing::TestWithParam<Row> {};

TEST_P(CipherPlanTable, TakesThePhotosInOrder)
{
    const Row &row = GetParam();
    test::TempDir dir;
    std::filesystem::create_directories(dir / "plain" / "album.jpg");
    std::filesystem::create_directories(dir / "out");
    for (const char *name : {"plain/a.jpg", "plain/B.PNG", "plain/c.png", "plain/notes.txt", "plain/old.veil", "out/c.veil"})
        test::WriteText(dir / name, "bytes");
    const auto in = [&dir](const char *name) { return test::Q(dir / "plain" / name); };
    const auto out = [&dir](const char *name) { return test::Q(dir / "out" / name); };

    QStringList picked;
    for (const char *name : row.picked)
        picked << in(name);
    const CipherPlan plan = PlanCiphering(picked, row.all, out("chosen.jpg"), test::Q(dir / "out"));

    QList<CipherJob> expected;
    for (const Job &job : row.jobs)
        expected << CipherJob{in(job.source), out(job.target), job.progress};
    EXPECT_EQ(plan.single, row.single);
    EXPECT_EQ(plan.jobs, expected);
    EXPECT_EQ(plan.maximum, row.maximum);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CipherPlanTable,
    ::testing::Values(
        Row{"NothingPicked", {}, false, false, {}, 0},
        Row{"OnePhotoGoesToTheNameChosen", {"a.jpg"}, false, true, {{"a.jpg", "chosen.veil", 0}}, 0},
        Row{"OneWhoseTargetExistsIsStillPlanned", {"c.png"}, false, true, {{"c.png", "chosen.veil", 0}}, 0},
        Row{"SeveralPickedInTheirOrderByTheirOwnNames",
            {"c.png", "a.jpg", "gone.jpg"},
            false,
            false,
            {{"c.png", "c.veil", 0}, {"a.jpg", "a.veil", 1}, {"gone.jpg", "gone.veil", 2}},
            2},
        Row{"AllTakesThePhotosOfTheFolderWithoutACipheredFile",
            {"a.jpg"},
            true,
            false,
            {{"a.jpg", "a.veil", 1}, {"B.PNG", "B.veil", 2}},
            2},
        Row{"AllWithSeveralPickedTakesTheFirstOnesFolder",
            {"c.png", "a.jpg"},
            true,
            false,
            {{"a.jpg", "a.veil", 1}, {"B.PNG", "B.veil", 2}},
            2}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot
