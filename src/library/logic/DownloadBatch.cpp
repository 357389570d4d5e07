#include "library/logic/DownloadBatch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

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
            if (finished >= jobs) break;
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
                // One failed download is lost alone.
            }
        }
    });
}

}  // namespace nuv

namespace nuv {

DownloadBatch::DownloadBatch(IParallelDownloader& downloader) : downloader_(downloader) {
    thread_ = std::thread([this] { Drive(); });
}

DownloadBatch::~DownloadBatch() {
    if (thread_.joinable()) Finish();
}

std::size_t DownloadBatch::Add(std::string address, std::string file, std::string pageAddress) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t id = jobs_.size();
    FileQueue& queue = files_[file];
    jobs_.push_back({std::move(address), std::move(file), std::move(pageAddress), {}});
    queue.waiting.push_back(id);
    Advance(queue);
    // The driving thread picks it up by itself once a running download ends.
    if (!ready_.empty() && running_ < downloader_.Slots() && !wakeSent_) {
        wakeSent_ = true;
        downloader_.Wake();
    }
    return id;
}

void DownloadBatch::Advance(FileQueue& queue) {
    if (queue.busy || queue.waiting.empty()) return;
    if (queue.held && queue.waiting.front() >= queue.heldFrom) return;
    queue.busy = true;
    ready_.push_back(queue.waiting.front());
    queue.waiting.pop_front();
}

std::size_t DownloadBatch::Added() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

void DownloadBatch::HoldFile(const std::string& file, std::size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    FileQueue& queue = files_[file];
    queue.heldFrom = queue.held ? std::min(queue.heldFrom, from) : from;
    queue.held = true;
    // One of the held ones that waits to start goes back to the head of its line.
    if (queue.busy && !queue.running) {
        const auto it = std::find_if(ready_.begin(), ready_.end(), [&](std::size_t id) { return jobs_[id].file == file; });
        if (it != ready_.end() && *it >= from) {
            queue.waiting.push_front(*it);
            ready_.erase(it);
            queue.busy = false;
        }
    }
    // The earlier ones end first; the held ones that wrote it get in line again.
    changed_.wait(lock, [&] { return !queue.busy; });
    std::vector<std::size_t> kept;
    for (auto it = queue.wrote.rbegin(); it != queue.wrote.rend(); ++it) {
        if (*it < from) {
            kept.insert(kept.begin(), *it);
            continue;
        }
        jobs_[*it].result = {};
        --ended_;
        queue.waiting.push_front(*it);
    }
    queue.wrote = std::move(kept);
}

void DownloadBatch::ReleaseLocked() {
    bool released = false;
    for (auto& [file, queue] : files_) {
        if (!queue.held) continue;
        queue.held = false;
        Advance(queue);
        released = true;
    }
    if (released && !wakeSent_) {
        wakeSent_ = true;
        downloader_.Wake();
    }
}

void DownloadBatch::ReleaseFiles() {
    std::lock_guard<std::mutex> lock(mutex_);
    ReleaseLocked();
}

std::vector<DownloadBatch::Result> DownloadBatch::Finish(const std::function<void(std::size_t)>& waiting) {
    std::unique_lock<std::mutex> lock(mutex_);
    ReleaseLocked();
    const auto done = [this] { return ended_ == jobs_.size(); };
    while (!done()) {
        if (!waiting) {
            changed_.wait(lock, done);
            break;
        }
        const std::size_t ended = ended_;
        lock.unlock();
        waiting(ended);
        lock.lock();
        changed_.wait_for(lock, std::chrono::milliseconds(100), done);
    }
    if (waiting) {
        lock.unlock();
        waiting(jobs_.size());
        lock.lock();
    }
    stop_ = true;
    downloader_.Wake();
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    std::vector<Result> results;
    results.reserve(jobs_.size());
    for (Job& job : jobs_) results.push_back(std::move(job.result));
    return results;
}

void DownloadBatch::Drive() {
    // A job's address, file and page never change once added, and the queue keeps its
    // jobs in place: they are read without the lock.
    std::vector<std::pair<std::size_t, const Job*>> starting;
    std::vector<IParallelDownloader::Ended> ended;
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        while (running_ < downloader_.Slots() && !ready_.empty()) {
            const std::size_t id = ready_.front();
            ready_.pop_front();
            const Job& job = jobs_[id];
            files_[job.file].running = true;
            ++running_;
            starting.emplace_back(id, &job);
        }
        if (stop_ && running_ == 0 && ready_.empty()) break;
        lock.unlock();
        ended.clear();
        for (const auto& [id, job] : starting) {
            try {
                downloader_.Start(id, job->address, job->file, job->page);
            } catch (const std::exception& e) {
                ended.push_back({id, 0, DownloadError(e.what())});
            }
        }
        starting.clear();
        downloader_.Wait(ended.empty() ? std::chrono::milliseconds(1000) : std::chrono::milliseconds(0), ended);
        lock.lock();
        wakeSent_ = false;
        // The waiting threads wake only for what they wait for: the last download, or one
        // into a held file.
        bool notify = false;
        for (IParallelDownloader::Ended& e : ended) {
            Job& job = jobs_[e.id];
            job.result.saved = !e.error;
            job.result.size = e.size;
            job.result.contentType = std::move(e.contentType);
            if (e.error) {
                job.result.error = e.error->what();
                job.result.failure = e.error->kind();
            }
            --running_;
            ++ended_;
            FileQueue& queue = files_[job.file];
            queue.running = false;
            queue.busy = false;
            queue.wrote.push_back(e.id);
            notify = notify || queue.held;
            Advance(queue);
        }
        if (notify || (!ended.empty() && ended_ == jobs_.size())) changed_.notify_all();
    }
}

}  // namespace nuv
