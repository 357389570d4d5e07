#include "library/logic/DownloadBatch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace nuv {
namespace {

// The jobs of a batch on several workers: the indexes of `files` that share a target
// file, in list order, one job a file; "" files are left out.
std::vector<std::vector<std::size_t>> JobsByTargetFile(const std::vector<std::string>& files) {
    std::vector<std::vector<std::size_t>> jobs;
    std::unordered_map<std::string, std::size_t> jobOfFile;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i].empty()) continue;
        const auto [it, added] = jobOfFile.try_emplace(files[i], jobs.size());
        if (added) jobs.emplace_back();
        jobs[it->second].push_back(i);
    }
    return jobs;
}

}  // namespace

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
        jobs = JobsByTargetFile(files);
    }
    executor.Run(jobs.size(), [&](std::size_t job, std::size_t worker) {
        for (std::size_t i : jobs[job]) {
            try {
                download(i, worker);
            } catch (...) {
                // One failed download is lost alone.
            }
        }
    });
}

DownloadPool::DownloadPool(std::size_t workers, std::size_t perHost) : perHost_(perHost == 0 ? 1 : perHost) {
    for (std::size_t w = 0; w < (workers == 0 ? 1 : workers); ++w) threads_.emplace_back([this, w] { Work(w); });
}

DownloadPool::~DownloadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void DownloadPool::Add(std::string host, std::function<void(std::size_t)> run) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{std::move(host), std::move(run)});
    }
    wake_.notify_one();
}

void DownloadPool::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
}

void DownloadPool::Work(std::size_t worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        auto next = queue_.end();
        wake_.wait(lock, [&] {
            next = std::find_if(queue_.begin(), queue_.end(), [&](const Job& j) {
                const auto b = busy_.find(j.host);
                return b == busy_.end() || b->second < perHost_;
            });
            return stopping_ || next != queue_.end();
        });
        if (stopping_) return;
        Job job = std::move(*next);
        queue_.erase(next);
        ++busy_[job.host];
        lock.unlock();
        try {
            job.run(worker);
        } catch (...) {
            // A job that fails ends alone.
        }
        job.run = nullptr;  // what it holds goes before the next job starts
        lock.lock();
        if (--busy_[job.host] == 0) busy_.erase(job.host);
        // A host below its limit again may let a waiting worker take a job.
        wake_.notify_all();
    }
}

void AddDownloadBatch(DownloadPool& pool, const std::vector<std::string>& files,
                      const std::function<std::string(std::size_t)>& hostOf,
                      std::function<void(std::size_t, std::size_t)> download, std::function<void()> finished) {
    struct Batch {
        std::vector<std::vector<std::size_t>> jobs;
        std::atomic<std::size_t> left{0};
        std::function<void(std::size_t, std::size_t)> download;
        std::function<void()> finished;
    };
    auto batch = std::make_shared<Batch>();
    batch->jobs = JobsByTargetFile(files);
    batch->left = batch->jobs.size();
    batch->download = std::move(download);
    batch->finished = std::move(finished);
    if (batch->jobs.empty()) {
        if (batch->finished) batch->finished();
        return;
    }
    for (std::size_t j = 0; j < batch->jobs.size(); ++j) {
        pool.Add(hostOf(batch->jobs[j].front()), [batch, j](std::size_t worker) {
            for (std::size_t i : batch->jobs[j]) {
                try {
                    batch->download(i, worker);
                } catch (...) {
                    // One failed download is lost alone.
                }
            }
            if (--batch->left == 0 && batch->finished) batch->finished();
        });
    }
}

}  // namespace nuv
