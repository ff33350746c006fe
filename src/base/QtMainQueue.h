#pragma once

#include "base/MainQueue.h"

#include <QObject>
#include <QPointer>
#include <unordered_map>

class QTimer;

namespace sonavista {

// MainQueue on the Qt GUI thread's event loop. `post` is safe from any thread.
class QtMainQueue final : public QObject, public MainQueue {
    Q_OBJECT
public:
    explicit QtMainQueue(QObject* parent = nullptr);
    ~QtMainQueue() override;

    void post(Task task) override;
    TimerId postAfter(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override;

private:
    TimerId addTimer(double seconds, bool repeating, Task task);

    std::unordered_map<TimerId, QTimer*> timers_;
    TimerId nextId_ = 1;
};

}  // namespace sonavista
