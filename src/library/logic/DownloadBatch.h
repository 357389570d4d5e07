#pragma once

#include <cstddef>
#include <functional>
#include <string>
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

}  // namespace nuv
