#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace nuv {

// Threads of their own that run the tasks posted to them, in the order posted when there
// is one thread. The destructor runs what is still queued, then joins them. Any thread.
class TaskPool {
public:
    explicit TaskPool(std::size_t threads);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void Post(std::function<void()> task);

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace nuv
