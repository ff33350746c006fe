#include "base/QtMainQueue.h"

#include <QMetaObject>
#include <QTimer>
#include <cmath>

namespace sonavista {

QtMainQueue::QtMainQueue(QObject* parent) : QObject(parent) {}

QtMainQueue::~QtMainQueue() {
    for (auto& [id, timer] : timers_) delete timer;
}

void QtMainQueue::post(Task task) {
    // Queued to this object's (the GUI) thread, in posting order.
    QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

MainQueue::TimerId QtMainQueue::postAfter(double delaySeconds, Task task) {
    return addTimer(delaySeconds, false, std::move(task));
}

MainQueue::TimerId QtMainQueue::scheduleRepeating(double intervalSeconds, Task task) {
    return addTimer(intervalSeconds, true, std::move(task));
}

MainQueue::TimerId QtMainQueue::addTimer(double seconds, bool repeating, Task task) {
    const TimerId id = nextId_++;
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    timer->setInterval(static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0)));
    connect(timer, &QTimer::timeout, this, [this, id, repeating, task = std::move(task)] {
        if (!repeating) {
            // Forget the timer before running, so the task may schedule or cancel freely.
            auto it = timers_.find(id);
            if (it != timers_.end()) {
                it->second->deleteLater();
                timers_.erase(it);
            }
        }
        task();
    });
    timers_.emplace(id, timer);
    timer->start();
    return id;
}

void QtMainQueue::cancel(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

}  // namespace sonavista
