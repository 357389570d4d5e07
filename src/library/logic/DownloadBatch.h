#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// The batch engine behind "save all" and nuv-extract -d: which downloads may run side by
// side, and on how many workers.
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

// The engine of a run over many pages: the downloads of every page are added while
// others run and share `workers` threads of its own, at most `perHost` of them at once
// for one host. Jobs start in the order they were added, except that a job whose host
// is at its limit lets later jobs of other hosts go first.
class DownloadPool {
public:
    DownloadPool(std::size_t workers, std::size_t perHost);
    // Drops the jobs that have not started and waits for the running ones.
    ~DownloadPool();
    DownloadPool(const DownloadPool&) = delete;
    DownloadPool& operator=(const DownloadPool&) = delete;

    std::size_t Workers() const { return threads_.size(); }
    // Queues run(worker) for `host`; it runs on a worker thread, worker < Workers().
    // What it throws is dropped.
    void Add(std::string host, std::function<void(std::size_t worker)> run);
    // Drops every job that has not started; the running ones run to their end.
    void Cancel();

private:
    struct Job {
        std::string host;
        std::function<void(std::size_t)> run;
    };
    void Work(std::size_t worker);

    std::size_t perHost_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;                               // guarded by mutex_
    std::unordered_map<std::string, std::size_t> busy_;  // running jobs a host; guarded by mutex_
    bool stopping_ = false;                               // guarded by mutex_
    std::vector<std::thread> threads_;
};

// Adds the downloads of one list to `pool` as RunDownloadBatch runs them on several
// workers: the addresses that share a target file run one after the other, in list
// order, within one job; "" files are skipped. `hostOf(index)` names the host of an
// address. `finished` runs once, when the last of them has ended: on the worker that ran
// it, or at once on the calling thread when there is nothing to download.
void AddDownloadBatch(DownloadPool& pool, const std::vector<std::string>& files,
                      const std::function<std::string(std::size_t index)>& hostOf,
                      std::function<void(std::size_t index, std::size_t worker)> download,
                      std::function<void()> finished);

}  // namespace nuv
