#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "web/Downloader.h"
#include "web/RetryRule.h"

// The batch engines behind "save all" and nuv-extract -d: which downloads may run side by
// side, and how.
namespace nuv {

// Runs jobs, on the calling thread or on workers of its own. Jobs run to their end;
// Run returns when all have.
class IBatchExecutor {
public:
    virtual ~IBatchExecutor() = default;
    // The number of jobs that may run at once.
    virtual std::size_t Workers() const = 0;
    // Calls run(job, worker) once for every job in [0, jobs), with worker < Workers().
    virtual void Run(std::size_t jobs, const std::function<void(std::size_t job, std::size_t worker)>& run) = 0;
};

// One job after the other on the calling thread, in order (the window's batch: its
// downloads let the window handle events meanwhile).
class SequentialExecutor : public IBatchExecutor {
public:
    std::size_t Workers() const override { return 1; }
    void Run(std::size_t jobs, const std::function<void(std::size_t, std::size_t)>& run) override;
};

// Up to `workers` jobs at once on threads of their own. `waiting`, when given, is called
// on the calling thread after each finished job and once at the start, while it waits.
class ThreadedExecutor : public IBatchExecutor {
public:
    explicit ThreadedExecutor(std::size_t workers, std::function<void(std::size_t finished)> waiting = {})
        : workers_(workers == 0 ? 1 : workers), waiting_(std::move(waiting)) {}
    std::size_t Workers() const override { return workers_; }
    void Run(std::size_t jobs, const std::function<void(std::size_t, std::size_t)>& run) override;

private:
    std::size_t workers_;
    std::function<void(std::size_t)> waiting_;
};

// Runs `download(index, worker)` for every index of `files` (the target file of each
// address; "" for an address that is not downloaded, which is skipped). With one worker
// the downloads run in list order. With several, the addresses that share a target file
// run one after the other in list order within one job, so the folder ends as a
// one-at-a-time batch leaves it: the last good download of a name wins. A download that
// throws ends alone; the others go on.
void RunDownloadBatch(const std::vector<std::string>& files, IBatchExecutor& executor,
                      const std::function<void(std::size_t index, std::size_t worker)>& download);

// The engine of nuv-extract -d: downloads side by side through one IParallelDownloader,
// driven by a thread of its own and fed while the addresses are still being found, by one
// page or by many. Downloads into the same file run one after the other in the order
// they were added, so the folder ends as a one-at-a-time batch leaves it: the last good
// download of a name wins. Downloads start in the order they may, except that one whose
// host has its most transfers running lets those of other hosts go first. A download of
// the address that last wrote its file is not made again while that file stands as it
// was saved: it ends as that one did (a run's pages that share a picture fetch it once),
// as does one of an address its server said it does not have (404, 410).
class DownloadBatch {
public:
    struct Result {
        bool saved = false;
        std::uint64_t size = 0;  // saved: the file's size
        std::string error;       // failed: why
        DownloadFailure failure = DownloadFailure::Network;
        std::string contentType;  // saved: the answer's Content-Type, "" when it gave none
        int retries = 0;          // how often it was tried again
        int status = 0;           // failed with an HTTP answer: its status
    };
    // Told of a download's end, on the batch's thread, before it is counted as ended (so
    // before Finish returns); a download that HoldFile runs again tells each end.
    using EndedFn = std::function<void(const Result& result)>;

    // `perHost`: the most downloads that run at once from one host (0: no bound beyond the
    // downloader's slots). A download that fails as MayRetry allows is tried again after
    // RetryDelay, up to `retry.retries` times; meanwhile it keeps its place in its host's
    // bound and its file's line, but no slot of the downloader. It ends (and its EndedFn
    // hears of it) once with its last outcome.
    // Downloads from one host start as `pace` spaces them, tries again included.
    explicit DownloadBatch(IParallelDownloader& downloader, std::size_t perHost = 0, RetryRule retry = {},
                           HostPace pace = {});
    // Finishes the batch.
    ~DownloadBatch();
    DownloadBatch(const DownloadBatch&) = delete;
    DownloadBatch& operator=(const DownloadBatch&) = delete;

    // Queues the download of `address` into `file` for the page `pageAddress` and returns
    // its number: 0, 1, ... in the order added. Any thread. A download of `group` (the
    // run's number of a page) takes over the download ahead of the same address that
    // AddAhead gave that group: its file moves into place once complete, and only a failed
    // one is fetched again.
    std::size_t Add(std::string address, std::string file, std::string pageAddress, EndedFn ended = {},
                    std::size_t group = kNoGroup);
    static constexpr std::size_t kNoGroup = static_cast<std::size_t>(-1);

    // Downloads `address` into `file` (a private file beneath `root`, the save folder) for
    // `group`, ahead of the list that decides whether it is wanted: a page whose final list
    // the browser gives still loads, or whose pictures are measured before the list is
    // filtered. `ended` hears of its own end. Once per address of a group: false, and
    // nothing done, for an address that went ahead before (or a cancelled batch).
    bool AddAhead(std::size_t group, std::string address, std::string file, std::string pageAddress,
                  std::string root, EndedFn ended = {});
    // What became of the downloads ahead of `group`, whose list is complete: those it
    // took over are used; the rest are dropped (those not started never start, the files
    // of the others go once they end).
    struct Ahead {
        std::size_t fetched = 0;  // downloads ahead that started
        std::size_t used = 0;     // taken over by a download of the list
        std::size_t removed = 0;  // started, not taken over: their files are removed
    };
    Ahead DropAhead(std::size_t group);
    // The number the next download added gets.
    std::size_t Added();
    // From now until ReleaseFiles, `file` belongs to someone else (a style sheet that the
    // extraction of a page fetches and reads). The downloads into it numbered below
    // `from` (an earlier page's) end first; those from `from` on are held back, and those
    // of them that already wrote it run again once released, so the file ends as if they
    // all came after it. Returns the numbers that run again.
    std::vector<std::size_t> HoldFile(const std::string& file, std::size_t from = 0);
    void ReleaseFiles();
    // Releases what is held and waits until every download added has ended. `waiting`,
    // when given, runs on this thread meanwhile, at least every 100 ms and when the last
    // download ends, with the number of those that ended. The results, by number.
    std::vector<Result> Finish(const std::function<void(std::size_t ended)>& waiting = {});
    // Stops the batch: downloads that have not started never do, and those that run are
    // left to the downloader, which ends them without a file when it goes. Returns once
    // the batch's thread has ended, so no EndedFn runs any more; Finish then returns at
    // once, with the results of the downloads that ended.
    void Cancel();

private:
    struct Job {
        std::string address, file, page, host;
        EndedFn ended;
        Result result;
        int retries = 0;  // tries again so far
        bool started = false, done = false;
        // A download ahead: the group it was made for, the save folder it lies beneath,
        // whether it was dropped, and the download of the list that took it over.
        std::size_t group = kNoGroup;
        std::string root = {};
        bool dropped = false;
        std::optional<std::size_t> takenBy = {};
        std::optional<std::size_t> takes = {};  // a download of a list: the one ahead it takes over
        bool awaitsAhead = false;          // and waits for its end
    };
    // A download waiting to be tried again.
    struct Retry {
        std::chrono::steady_clock::time_point due;
        std::size_t id;
    };
    // The downloads of one file: at most one is queued or runs, the others wait in order.
    struct FileQueue {
        std::deque<std::size_t> waiting;
        std::vector<std::size_t> wrote;  // those that ran, in order
        std::optional<std::size_t> last;  // the last that ended, unless the file was held since
        bool busy = false;               // one is queued or runs
        bool running = false;
        bool held = false;
        std::size_t heldFrom = 0;  // the first number held back
    };
    // The downloads of one host that may start now, in the order they became ready.
    struct HostQueue {
        std::deque<std::pair<std::uint64_t, std::size_t>> ready;  // (order, number)
        std::size_t running = 0;
    };
    void Drive();
    // Queues the next waiting download of `queue` when none is busy. Under `mutex_`.
    void Advance(FileQueue& queue);
    // Whether download `id` may end as `queue.last` ended, without running. Under `mutex_`.
    bool EndsAsLast(const FileQueue& queue, std::size_t id) const;
    // Download `id` of a list whose download ahead has ended: ends with its file, moved
    // into place, or is made ready to be fetched. Under `mutex_`.
    void TakeOver(std::size_t id);
    void Wakeup();
    void MakeReady(std::size_t id);
    // The ready download that starts next, if one may; takes it off its queue.
    std::optional<std::size_t> NextToStart(std::chrono::steady_clock::time_point now);
    // The soonest time after `now` that a host with a download waiting may start one.
    std::optional<std::chrono::steady_clock::time_point> NextPaced(std::chrono::steady_clock::time_point now) const;
    void ReleaseLocked();
    void StopThread();

    IParallelDownloader& downloader_;
    const std::size_t perHost_;
    const RetryRule retry_;
    HostPacer pace_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::unordered_map<std::string, FileQueue> files_;
    std::vector<std::string> heldFiles_;  // the files held since the last release
    std::unordered_map<std::string, HostQueue> hosts_;
    std::uint64_t readyOrder_ = 0;
    std::vector<Retry> retrying_;  // by due time
    std::vector<std::pair<std::size_t, std::size_t>> repeated_;  // (download, the earlier one it ends as)
    std::unordered_map<std::string, std::size_t> ahead_;  // the downloads ahead not taken over, by group and address
    std::unordered_map<std::size_t, std::vector<std::size_t>> aheadOf_;  // the downloads ahead of each group
    std::size_t ready_ = 0;  // downloads that may start now, of every host
    std::size_t running_ = 0;
    std::size_t ended_ = 0;
    bool wakeSent_ = false;
    bool stop_ = false;
    bool cancelled_ = false;
    std::thread thread_;
};

}  // namespace nuv
