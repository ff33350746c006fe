#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sonavista {

// One worker thread running submitted tasks one at a time, in submission order.
// The destructor runs what was already submitted, then joins the thread.
class SerialQueue {
public:
    using Task = std::function<void()>;

    explicit SerialQueue(std::string name = "sonavista-serial");
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(Task task);
    // Runs `task` on the queue and waits for it; runs inline when called from the queue itself.
    void sync(const Task& task);
    bool isCurrent() const;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::string name_;
    std::thread thread_;
};

}  // namespace sonavista
