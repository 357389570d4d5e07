#pragma once

#include <cstddef>
#include <optional>

// When the pages of a nuv-extract run start and when the run ends. Plain C++: the engine
// driver tells it what happened to the pages and asks which page starts next.
namespace nuv {

// Pages whose downloads may wait, for each page that -j lets load at once: beyond that
// no new page starts, so the engine does not pile up work faster than the network ends it.
inline constexpr std::size_t kWaitingPagesPerJob = 4;

// The pages 0..pages-1 of a run, started in order: at most `jobs` at a time are in the
// engine (loading, waiting for their extraction or being extracted), and none starts
// while jobs * kWaitingPagesPerJob pages wait for their downloads. Used by one thread.
class PageScheduler {
public:
    PageScheduler(std::size_t pages, std::size_t jobs) : pages_(pages), jobs_(jobs < 1 ? 1 : jobs) {}

    // The next page, which now counts as in the engine; none when the run is stopped,
    // every page started, or the bounds above are reached.
    std::optional<std::size_t> Next();
    // The page's time in the engine ended: it was extracted, or it failed to load (or to
    // start at all).
    void LeftEngine();
    // The page hands its downloads over; and they ended.
    void DownloadsStarted() { ++waiting_; }
    void DownloadsEnded();
    // The page has printed its output: it is done.
    void Finished() { ++finished_; }
    // No page starts any more.
    void Stop() { stopped_ = true; }

    // True once, when every page is done and the run was not stopped: the run ends then.
    bool TakeEnd();

    std::size_t Pages() const { return pages_; }
    std::size_t Done() const { return finished_; }
    // By a signal, or because the output is gone.
    bool Stopped() const { return stopped_; }
    // TakeEnd said so.
    bool Ended() const { return ended_; }

private:
    std::size_t pages_;
    std::size_t jobs_;
    std::size_t next_ = 0;
    std::size_t open_ = 0;
    std::size_t waiting_ = 0;
    std::size_t finished_ = 0;
    bool stopped_ = false;
    bool ended_ = false;
};

}  // namespace nuv
