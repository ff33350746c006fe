#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sonavista::testing {

// One thread running submitted tasks in order, for test doubles whose callbacks must come from
// a thread of their own. The destructor runs what was submitted, then joins.
class WorkerThread {
public:
    using Task = std::function<void()>;
    WorkerThread() : thread_([this] { run(); }) {}
    ~WorkerThread() {
        async(nullptr);  // the empty task ends the loop after everything before it
        thread_.join();
    }
    void async(Task task) {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake_.notify_all();
    }
    // Runs `task` on the thread and waits for it; at once when called from there.
    void sync(const Task& task) {
        if (std::this_thread::get_id() == thread_.get_id()) return task();
        bool done = false;
        async([&] { task(); std::lock_guard lock(mutex_); done = true; wake_.notify_all(); });
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return done; });
    }

private:
    void run() {
        for (std::unique_lock lock(mutex_);;) {
            wake_.wait(lock, [this] { return !tasks_.empty(); });
            Task task = std::move(tasks_.front());
            tasks_.pop_front();
            if (!task) return;
            lock.unlock();
            task();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    std::thread thread_;  // last: starts once the queue above exists
};

}  // namespace sonavista::testing
