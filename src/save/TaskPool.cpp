#include "save/TaskPool.h"

#include <utility>

#include "common/Guard.h"

namespace nuv {

TaskPool::TaskPool(std::size_t threads) {
    for (std::size_t i = 0; i < (threads == 0 ? 1 : threads); ++i) threads_.emplace_back([this] { Work(); });
}

TaskPool::~TaskPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void TaskPool::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    changed_.notify_one();
}

void TaskPool::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        try {
            task();
        } catch (...) {
            NoteSwallowed();
        }
    }
}

}  // namespace nuv
