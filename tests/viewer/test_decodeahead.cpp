// The photos decoded ahead serve only the files they were made from, as those files still are;
// a step either way finds its photo held, and what is no longer around is let go.

#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "viewer/decodeahead.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace veilshot {
namespace {

using test::Q;

// Waits on the calling thread, as nothing in the program does.
void Blocking(QFuture<void> work)
{
    work.waitForFinished();
}

struct Counting {
    std::atomic<int> decodes = 0;
    DecodeAhead::Decode decode()
    {
        return [this](const QString &path) {
            ++decodes;
            return Prepared{imaging::OpenFile(path)};
        };
    }
};

TEST(DecodeAhead, ServesTheFileItWasMadeFromOnce)
{
    test::TempDir dir;
    test::WriteFile(dir / "a.png", test::EncodedPhoto("png", Qt::red, {30, 20}));
    Counting counting;
    DecodeAhead ahead;
    ahead.prepare({}, {Q(dir / "a.png")}, counting.decode());
    ahead.prepare({}, {Q(dir / "a.png")}, counting.decode());  // already on its way: not again
    const auto taken = ahead.take(Q(dir / "a.png"), Blocking);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->picture.image.size(), QSize(30, 20));
    EXPECT_TRUE(ahead.take(Q(dir / "a.png"), Blocking));  // still held: one step on, it is behind
    EXPECT_EQ(counting.decodes, 1);
}

// Stepping right and then left again decodes nothing more: the photo left behind is held as
// the neighbour of the one shown, and only what is no longer around is let go.
TEST(DecodeAhead, BothNeighboursAreHeld)
{
    test::TempDir dir;
    for (const char *name : {"a.png", "b.png", "c.png", "d.png"})
        test::WriteFile(dir / name, test::EncodedPhoto("png", Qt::red, {30, 20}));
    const auto at = [&](const char *name) { return Q(dir / name); };
    Counting counting;
    DecodeAhead ahead;

    // b shown, decoded in place; c ahead, a behind.
    ahead.decodeNow(at("b.png"), counting.decode());
    ahead.prepare(at("b.png"), {at("c.png"), at("a.png")}, counting.decode());
    EXPECT_EQ(ahead.pending(), (QStringList{at("b.png"), at("c.png"), at("a.png")}));
    ASSERT_TRUE(ahead.take(at("c.png"), Blocking));
    // c shown: d ahead, b behind, a let go.
    ahead.prepare(at("c.png"), {at("d.png"), at("b.png")}, counting.decode());
    EXPECT_EQ(ahead.pending(), (QStringList{at("c.png"), at("d.png"), at("b.png")}));
    ASSERT_TRUE(ahead.take(at("b.png"), Blocking));  // back again: held
    while (!ahead.ready(at("d.png")))      // the one worker takes them in order: a went before d
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(counting.decodes, 4);  // b, then c, a and d ahead: nothing twice
    EXPECT_FALSE(ahead.take(at("a.png"), Blocking));
}

TEST(DecodeAhead, AnotherFileOrAChangedOneIsNotServed)
{
    test::TempDir dir;
    test::WriteFile(dir / "a.png", test::EncodedPhoto("png", Qt::red, {30, 20}));
    test::WriteFile(dir / "b.png", test::EncodedPhoto("png", Qt::blue, {30, 20}));
    Counting counting;
    DecodeAhead ahead;

    ahead.prepare({}, {Q(dir / "a.png")}, counting.decode());
    EXPECT_FALSE(ahead.take(Q(dir / "b.png"), Blocking));

    for (const char *change : {"rewritten", "rewritten in place, only its times differ", "moved away",
                               "replaced by a copy of the same size", "removed"}) {
        SCOPED_TRACE(change);
        ahead.prepare({}, {Q(dir / "a.png")}, counting.decode());
        while (!ahead.ready(Q(dir / "a.png")))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::string what = change;
        if (what == "rewritten")
            test::WriteFile(dir / "a.png", test::EncodedPhoto("png", Qt::green, {40, 20}));
        else if (what == "rewritten in place, only its times differ") {
            // The same file and size: an editor that keeps the size, or a clock too coarse to
            // tell the write from the decode, leaves only the times to show the change.
            const auto then = std::filesystem::last_write_time(dir / "a.png");
            test::WriteFile(dir / "a.png", test::ReadFile(dir / "a.png"));
            std::filesystem::last_write_time(dir / "a.png", then + std::chrono::seconds(1));
        }
        else if (what == "moved away")
            std::filesystem::rename(dir / "a.png", dir / "elsewhere.png");
        else if (what == "replaced by a copy of the same size") {
            // Same size, and on a fast machine the same millisecond: only the file itself differs.
            test::WriteFile(dir / "twin.png", test::ReadFile(dir / "a.png"));
            std::filesystem::rename(dir / "twin.png", dir / "a.png");
        }
        else
            std::filesystem::remove(dir / "a.png");
        EXPECT_FALSE(ahead.take(Q(dir / "a.png"), Blocking));
        if (what == "moved away")
            std::filesystem::rename(dir / "elsewhere.png", dir / "a.png");
    }
}

// What is still on its way is handed to the caller's wait, never waited for in take(): a window
// waits with its window painting while a key is stretched for a neighbour. The decode here goes
// on only once the wait has been asked for, so a take() that waited itself would find it stuck.
TEST(DecodeAhead, WorkOnItsWayIsWaitedForByTheCaller)
{
    test::TempDir dir;
    test::WriteFile(dir / "a.png", test::EncodedPhoto("png", Qt::red, {30, 20}));
    std::promise<void> asked;
    std::shared_future<void> waitAsked = asked.get_future().share();
    DecodeAhead ahead;
    ahead.prepare({}, {Q(dir / "a.png")}, [waitAsked](const QString &path) {
        // Bounded, so that a take() that waits itself fails the test rather than hanging it.
        waitAsked.wait_for(std::chrono::seconds(20));
        return Prepared{imaging::OpenFile(path)};
    });
    int waits = 0;
    const auto taken = ahead.take(Q(dir / "a.png"), [&](QFuture<void> work) {
        ++waits;
        EXPECT_FALSE(work.isFinished());
        if (waits == 1)
            asked.set_value();
        work.waitForFinished();
    });
    EXPECT_EQ(waits, 1);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->picture.image.size(), QSize(30, 20));
    // Done: served without a wait.
    EXPECT_TRUE(ahead.take(Q(dir / "a.png"), [&](QFuture<void>) { ++waits; }));
    EXPECT_EQ(waits, 1);
}

}  // namespace
}  // namespace veilshot
