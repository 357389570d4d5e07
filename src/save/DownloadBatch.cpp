#include "save/DownloadBatch.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include <sys/stat.h>

#include "common/Guard.h"
#include "common/SaveTargets.h"
#include "web/FetchPolicy.h"

namespace nuv {

DownloadBatch::DownloadBatch(IParallelDownloader& downloader, std::size_t perHost, RetryRule retry, HostPace pace)
    : downloader_(downloader), perHost_(perHost), retry_(retry), pace_(pace) {
    thread_ = std::thread([this] { Drive(); });
}

DownloadBatch::~DownloadBatch() {
    if (thread_.joinable()) Finish();
}

namespace {

std::string AheadKey(std::size_t group, const std::string& address) { return std::to_string(group) + " " + address; }

}  // namespace

std::size_t DownloadBatch::Add(std::string address, std::string file, std::string pageAddress, EndedFn ended,
                               std::size_t group) {
    std::string host = perHost_ > 0 || pace_.Paced() ? AddressHost(address) : std::string();
    std::lock_guard<std::mutex> lock(mutex_);
    const std::size_t id = jobs_.size();
    FileQueue& queue = files_[file];
    jobs_.push_back({std::move(address), std::move(file), std::move(pageAddress), std::move(host), std::move(ended), {}});
    if (cancelled_) return id;  // never runs
    if (group != kNoGroup && !ahead_.empty()) {
        if (const auto it = ahead_.find(AheadKey(group, jobs_[id].address)); it != ahead_.end()) {
            jobs_[id].takes = it->second;
            jobs_[it->second].takenBy = id;
            ahead_.erase(it);
        }
    }
    queue.waiting.push_back(id);
    Advance(queue);
    // The driving thread picks it up by itself once a running download ends.
    if (ready_ > 0 && running_ < downloader_.Slots()) Wakeup();
    return id;
}

bool DownloadBatch::AddAhead(std::size_t group, std::string address, std::string file, std::string pageAddress,
                             std::string root, EndedFn ended) {
    std::string host = perHost_ > 0 || pace_.Paced() ? AddressHost(address) : std::string();
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_ || ahead_.contains(AheadKey(group, address))) return false;
    const std::size_t id = jobs_.size();
    ahead_.emplace(AheadKey(group, address), id);
    aheadOf_[group].push_back(id);
    FileQueue& queue = files_[file];
    jobs_.push_back({std::move(address), std::move(file), std::move(pageAddress), std::move(host), std::move(ended), {}});
    jobs_.back().group = group;
    jobs_.back().root = std::move(root);
    queue.waiting.push_back(id);
    Advance(queue);
    if (ready_ > 0 && running_ < downloader_.Slots()) Wakeup();
    return true;
}

DownloadBatch::Ahead DownloadBatch::DropAhead(std::size_t group) {
    Ahead out;
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto of = aheadOf_.find(group);
        if (of == aheadOf_.end()) return out;
        for (const std::size_t id : of->second) {
            Job& job = jobs_[id];
            if (job.started) ++out.fetched;
            if (job.takenBy) {
                ++out.used;
                continue;
            }
            ahead_.erase(AheadKey(group, job.address));
            job.dropped = true;
            if (job.started) {
                ++out.removed;
                std::error_code ec;
                if (job.done && job.result.saved) std::filesystem::remove(job.file, ec);
                continue;
            }
            // Not started: it never is.
            HostQueue& line = hosts_[job.host];
            const auto it = std::find_if(line.ready.begin(), line.ready.end(),
                                         [id](const auto& entry) { return entry.second == id; });
            if (it != line.ready.end()) {
                line.ready.erase(it);
                --ready_;
            }
            if (line.ready.empty() && line.running == 0) hosts_.erase(job.host);
            files_.erase(job.file);
            job.done = true;
            job.result.error = "not listed";
            ++ended_;
            last = ended_ == jobs_.size();
        }
        aheadOf_.erase(of);
    }
    if (last) changed_.notify_all();
    return out;
}

void DownloadBatch::Wakeup() {
    if (wakeSent_) return;
    wakeSent_ = true;
    downloader_.Wake();
}

void DownloadBatch::Advance(FileQueue& queue) {
    if (queue.busy || queue.waiting.empty()) return;
    if (queue.held && queue.waiting.front() >= queue.heldFrom) return;
    queue.busy = true;
    const std::size_t id = queue.waiting.front();
    queue.waiting.pop_front();
    if (const auto ahead = jobs_[id].takes) {
        if (jobs_[*ahead].done) return TakeOver(id);
        jobs_[id].awaitsAhead = true;  // the end of the one ahead takes it over
        return;
    }
    if (!EndsAsLast(queue, id)) return MakeReady(id);
    repeated_.emplace_back(id, *queue.last);
    Wakeup();
}

void DownloadBatch::TakeOver(std::size_t id) {
    Job& job = jobs_[id];
    const std::size_t ahead = *job.takes;
    job.takes.reset();
    job.awaitsAhead = false;
    const Job& before = jobs_[ahead];
    // Its file moves into place; one that failed, or cannot be moved, is fetched again.
    if (before.result.saved && MoveBeneath(before.root, before.file, job.file)) {
        repeated_.emplace_back(id, ahead);
        Wakeup();
        return;
    }
    MakeReady(id);
    Wakeup();
}

bool DownloadBatch::EndsAsLast(const FileQueue& queue, std::size_t id) const {
    if (!queue.last || queue.held) return false;
    const Job& last = jobs_[*queue.last];
    if (last.address != jobs_[id].address) return false;
    if (!last.result.saved) return last.result.status == 404 || last.result.status == 410;
    // Saved, and still there as it was saved (not moved to another name, nor removed).
    struct stat st {};
    return ::lstat(last.file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           static_cast<std::uint64_t>(st.st_size) == last.result.size;
}

void DownloadBatch::MakeReady(std::size_t id) {
    hosts_[jobs_[id].host].ready.emplace_back(readyOrder_++, id);
    ++ready_;
}

std::optional<std::chrono::steady_clock::time_point> DownloadBatch::NextPaced(
    std::chrono::steady_clock::time_point now) const {
    std::optional<std::chrono::steady_clock::time_point> soonest;
    if (!pace_.Paced()) return soonest;
    const auto consider = [&](const std::string& host) {
        const auto at = pace_.NotBefore(host);
        if (at && *at > now && (!soonest || *at < *soonest)) soonest = at;
    };
    for (const auto& [host, queue] : hosts_)
        if (!queue.ready.empty()) consider(host);
    for (const Retry& r : retrying_) consider(jobs_[r.id].host);
    return soonest;
}

std::optional<std::size_t> DownloadBatch::NextToStart(std::chrono::steady_clock::time_point now) {
    // The download that became ready first among the hosts below their bound (and past
    // their pace); few hosts have downloads ready at once, so a look at each is cheap.
    HostQueue* next = nullptr;
    const std::string* nextHost = nullptr;
    for (auto& [host, queue] : hosts_) {
        if (queue.ready.empty() || (perHost_ > 0 && queue.running >= perHost_)) continue;
        if (const auto at = pace_.NotBefore(host); at && now < *at) continue;
        if (!next || queue.ready.front().first < next->ready.front().first) {
            next = &queue;
            nextHost = &host;
        }
    }
    if (!next) return std::nullopt;
    pace_.TryTake(*nextHost, now);
    const std::size_t id = next->ready.front().second;
    next->ready.pop_front();
    --ready_;
    return id;
}

std::size_t DownloadBatch::Added() {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

std::vector<std::size_t> DownloadBatch::HoldFile(const std::string& file, std::size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    FileQueue& queue = files_[file];
    queue.heldFrom = queue.held ? std::min(queue.heldFrom, from) : from;
    if (!queue.held) heldFiles_.push_back(file);
    queue.held = true;
    // One of the held ones that waits to start goes back to the head of its line.
    if (queue.busy && !queue.running) {
        for (auto& [host, line] : hosts_) {
            const auto it = std::find_if(line.ready.begin(), line.ready.end(),
                                         [&](const auto& entry) { return jobs_[entry.second].file == file; });
            if (it == line.ready.end()) continue;
            if (it->second >= from) {
                queue.waiting.push_front(it->second);
                line.ready.erase(it);
                --ready_;
                queue.busy = false;
            }
            break;
        }
    }
    // The earlier ones end first; the held ones that wrote it get in line again.
    changed_.wait(lock, [&] { return !queue.busy || cancelled_; });
    queue.last.reset();  // what the holder writes is not what a download saved
    std::vector<std::size_t> again;
    if (cancelled_) return again;
    std::vector<std::size_t> kept;
    for (auto it = queue.wrote.rbegin(); it != queue.wrote.rend(); ++it) {
        if (*it < from) {
            kept.insert(kept.begin(), *it);
            continue;
        }
        jobs_[*it].result = {};
        --ended_;
        queue.waiting.push_front(*it);
        again.insert(again.begin(), *it);
    }
    queue.wrote = std::move(kept);
    return again;
}

void DownloadBatch::ReleaseLocked() {
    bool released = false;
    for (const std::string& file : heldFiles_) {
        const auto it = files_.find(file);
        if (it == files_.end() || !it->second.held) continue;
        it->second.held = false;
        Advance(it->second);
        released = true;
    }
    heldFiles_.clear();
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
    const auto done = [this] { return ended_ == jobs_.size() || cancelled_; };
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
    lock.unlock();
    StopThread();
    std::vector<Result> results;
    results.reserve(jobs_.size());
    for (Job& job : jobs_) results.push_back(std::move(job.result));
    return results;
}

void DownloadBatch::Cancel() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
        for (auto& [host, queue] : hosts_) queue.ready.clear();
        for (auto& [file, queue] : files_) queue.waiting.clear();
        ready_ = 0;
        repeated_.clear();
    }
    changed_.notify_all();
    StopThread();
}

void DownloadBatch::StopThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    downloader_.Wake();
    if (thread_.joinable()) thread_.join();
}

void DownloadBatch::Drive() {
    // A job's address, file, page and EndedFn never change once added, and the queue
    // keeps its jobs in place: they are read without the lock.
    std::vector<std::pair<std::size_t, const Job*>> starting;
    std::vector<IParallelDownloader::Ended> ended;
    struct Finished {
        std::size_t id;
        Job* job;
        Result result;
        bool ran = true;  // false: it ended as the last download of its file did
    };
    std::vector<Finished> finished;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!cancelled_) {
        // Those whose wait for another try has passed go first.
        const auto now = std::chrono::steady_clock::now();
        for (auto it = retrying_.begin(); it != retrying_.end() && it->due <= now && running_ < downloader_.Slots();) {
            const std::size_t id = it->id;
            if (!pace_.TryTake(jobs_[id].host, now)) {
                ++it;
                continue;
            }
            it = retrying_.erase(it);
            ++running_;
            starting.emplace_back(id, &jobs_[id]);
        }
        while (running_ < downloader_.Slots()) {
            const std::optional<std::size_t> id = NextToStart(now);
            if (!id) break;
            Job& job = jobs_[*id];
            files_[job.file].running = true;
            ++hosts_[job.host].running;
            ++running_;
            job.started = true;
            starting.emplace_back(*id, &job);
        }
        if (stop_ && running_ == 0 && ready_ == 0 && retrying_.empty() && repeated_.empty()) break;
        std::chrono::milliseconds wait(1000);
        // Until the next try again or paced start is due; one whose time passed but that
        // still waits waits for something that ends (a slot, its host's bound, its pace).
        const auto waitUntil = [&](std::chrono::steady_clock::time_point when) {
            if (when <= now) return;
            const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(when - now);
            wait = std::clamp(until + std::chrono::milliseconds(1), std::chrono::milliseconds(0), wait);
        };
        for (const Retry& r : retrying_) {
            if (r.due <= now) continue;
            waitUntil(r.due);
            break;
        }
        if (const auto paced = NextPaced(now)) waitUntil(*paced);
        finished.clear();
        for (const auto& [id, earlier] : repeated_) {
            Result result = jobs_[earlier].result;
            result.retries = 0;
            finished.push_back({id, &jobs_[id], std::move(result), false});
        }
        repeated_.clear();
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
        downloader_.Wait(ended.empty() && finished.empty() ? wait : std::chrono::milliseconds(0), ended);
        if (!ended.empty()) {
            lock.lock();
            for (IParallelDownloader::Ended& e : ended) {
                Job& job = jobs_[e.id];
                if (e.error && job.retries < retry_.retries && MayRetry(*e.error)) {
                    ++job.retries;
                    --running_;
                    const Retry again{std::chrono::steady_clock::now() +
                                          RetryDelay(retry_, job.retries, e.error->RetryAfter(), RetryJitter()),
                                      e.id};
                    retrying_.insert(std::upper_bound(retrying_.begin(), retrying_.end(), again,
                                                      [](const Retry& a, const Retry& b) { return a.due < b.due; }),
                                     again);
                    continue;
                }
                Result result;
                result.retries = job.retries;
                result.saved = !e.error;
                result.size = e.size;
                result.contentType = std::move(e.contentType);
                if (e.error) {
                    result.error = e.error->what();
                    result.failure = e.error->kind();
                    if (result.failure == DownloadFailure::Http) result.status = e.error->Status();
                }
                finished.push_back({e.id, &jobs_[e.id], std::move(result)});
            }
            lock.unlock();
        }
        // Those who wait hear of a download once they have been told of its end.
        for (const auto& [id, job, result, ran] : finished) {
            if (!job->ended) continue;
            try {
                job->ended(result);
            } catch (...) {
                NoteSwallowed();
                // What the listener does with it is its own affair.
            }
        }
        lock.lock();
        wakeSent_ = false;
        // The waiting threads wake only for what they wait for: the last download, or one
        // into a held file.
        bool notify = false;
        for (auto& [id, job, result, ran] : finished) {
            job->result = std::move(result);
            if (ran) {
                --running_;
                const auto host = hosts_.find(job->host);
                if (--host->second.running == 0 && host->second.ready.empty()) hosts_.erase(host);
            }
            ++ended_;
            job->done = true;
            if (job->group != kNoGroup) {
                // A download ahead: the one of the list that took it over goes on; a
                // dropped one leaves nothing.
                files_.erase(job->file);
                if (job->takenBy && jobs_[*job->takenBy].awaitsAhead) TakeOver(*job->takenBy);
                std::error_code ec;
                if (job->dropped && job->result.saved) std::filesystem::remove(job->file, ec);
                continue;
            }
            FileQueue& queue = files_[job->file];
            queue.running = false;
            queue.busy = false;
            queue.wrote.push_back(id);
            queue.last = id;
            notify = notify || queue.held;
            Advance(queue);
        }
        if (notify || (!finished.empty() && ended_ == jobs_.size())) changed_.notify_all();
    }
}

}  // namespace nuv
