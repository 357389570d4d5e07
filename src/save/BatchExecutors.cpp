// The executors of the window's batches (see DownloadBatch.h).
#include "save/DownloadBatch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "common/Guard.h"

namespace nuv {

void SequentialExecutor::Run(std::size_t jobs, const std::function<void(std::size_t, std::size_t)>& run) {
    for (std::size_t job = 0; job < jobs; ++job) run(job, 0);
}

void ThreadedExecutor::Run(std::size_t jobs, const std::function<void(std::size_t, std::size_t)>& run) {
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable wake;
    std::size_t finished = 0;  // guarded by `mutex`
    auto work = [&](std::size_t worker) {
        for (std::size_t job = next++; job < jobs; job = next++) {
            run(job, worker);
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++finished;
            }
            wake.notify_one();
        }
    };
    std::vector<std::thread> threads;
    const std::size_t count = std::min(jobs, workers_);
    for (std::size_t w = 0; w < count; ++w) threads.emplace_back(work, w);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (true) {
            const std::size_t now = finished;
            if (waiting_) {
                lock.unlock();
                waiting_(now);
                lock.lock();
            }
            if (now >= jobs) break;  // the count just reported: the last one is reported too
            wake.wait(lock, [&] { return finished != now; });
        }
    }
    for (std::thread& t : threads) t.join();
}

void RunDownloadBatch(const std::vector<std::string>& files, IBatchExecutor& executor,
                      const std::function<void(std::size_t, std::size_t)>& download) {
    std::vector<std::vector<std::size_t>> jobs;
    if (executor.Workers() <= 1) {
        for (std::size_t i = 0; i < files.size(); ++i)
            if (!files[i].empty()) jobs.push_back({i});
    } else {
        std::unordered_map<std::string, std::size_t> jobOfFile;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i].empty()) continue;
            const auto [it, added] = jobOfFile.try_emplace(files[i], jobs.size());
            if (added) jobs.emplace_back();
            jobs[it->second].push_back(i);
        }
    }
    executor.Run(jobs.size(), [&](std::size_t job, std::size_t worker) {
        for (std::size_t i : jobs[job]) {
            try {
                download(i, worker);
            } catch (...) {
                NoteSwallowed();
                // One failed download is lost alone.
            }
        }
    });
}

}  // namespace nuv
