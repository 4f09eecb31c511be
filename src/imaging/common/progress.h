#pragma once
// How far the work on one photo has come, and a request to abandon it. The window that starts
// the work makes one and hands it down (to the decode, the drawing and the encoder); the work
// reports on its own threads while the window reads and may stop it. Every member is safe to
// call from any thread.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <stdexcept>

namespace veilshot::imaging {

// Thrown by work that saw its Progress stopped: nothing has been written.
class WorkStopped : public std::runtime_error {
public:
    WorkStopped()
        : std::runtime_error("The work was stopped.")
    {
    }
};

class Progress {
public:
    static constexpr int Whole = 1000;

    // Asks the work to end at its next check; it then throws WorkStopped.
    void stop() noexcept
    {
        stopped_.store(true, std::memory_order_relaxed);
        stopped_.notify_all();
    }
    bool stopped() const noexcept { return stopped_.load(std::memory_order_relaxed); }
    void throwIfStopped() const
    {
        if (stopped())
            throw WorkStopped();
    }

    // How far the work has come, 0..Whole; it never goes back.
    int done() const noexcept { return done_.load(std::memory_order_relaxed); }

    // The part of the whole, from `from` to `to` (0..Whole), that the next reports fill.
    void setStage(int from, int to) noexcept
    {
        stageFrom_.store(from, std::memory_order_relaxed);
        stageTo_.store(to, std::memory_order_relaxed);
        advanceTo(from);
    }
    // `part` of `of` of the present stage is done.
    void report(std::int64_t part, std::int64_t of) noexcept
    {
        if (of <= 0)
            return;
        const int from = stageFrom_.load(std::memory_order_relaxed), to = stageTo_.load(std::memory_order_relaxed);
        advanceTo(from + int((to - from) * std::min(part, of) / of));
        if (done() >= holdAt_.load(std::memory_order_relaxed))
            stopped_.wait(false, std::memory_order_relaxed);
    }

    // Holds the work at its first report that reaches `done` (1..Whole) until it is stopped: a
    // test's way of keeping it at a known point, whatever the machine's speed, while the window
    // shows how far it has come and reads its stop key.
    void holdAt(int done) noexcept { holdAt_.store(done, std::memory_order_relaxed); }

private:
    void advanceTo(int value) noexcept
    {
        int seen = done_.load(std::memory_order_relaxed);
        while (seen < value && !done_.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
        }
    }

    std::atomic<bool> stopped_{false};
    std::atomic<int> done_{0};
    std::atomic<int> stageFrom_{0};
    std::atomic<int> stageTo_{Whole};
    std::atomic<int> holdAt_{Whole + 1};  // never
};

// Reports `part` of `of` to `progress` and ends the work there if it was stopped; does nothing
// without one.
inline void Advance(Progress *progress, std::int64_t part, std::int64_t of)
{
    if (!progress)
        return;
    progress->report(part, of);
    progress->throwIfStopped();
}

}  // namespace veilshot::imaging
