#include "audio/FrameHoldBack.h"

#include <utility>

namespace sonavista {

bool FrameHoldBack::push(const AudioVisualizationFrame& frame, double dueTime) {
    std::lock_guard lock(mutex_);
    if (count_ == capacity) {
        first_ = (first_ + 1) % capacity;
        --count_;
    }
    Held& held = ring_[(first_ + count_) % capacity];
    held.frame.level = frame.level;
    held.frame.motionRate = frame.motionRate;
    held.frame.beatPulse = frame.beatPulse;
    held.frame.spectrum.assign(frame.spectrum.begin(), frame.spectrum.end());
    held.dueTime = dueTime;
    ++count_;
    if (onTicks_ || awake_) return false;
    awake_ = true;
    return true;
}

FrameHoldBack::Taken FrameHoldBack::take(double now, AudioVisualizationFrame& frame) {
    std::lock_guard lock(mutex_);
    Taken taken;
    // Frames are pushed in analysis order, so the due ones are at the front.
    std::size_t due = 0;
    while (due < count_ && ring_[(first_ + due) % capacity].dueTime <= now) ++due;
    if (due > 0) {
        std::swap(frame, ring_[(first_ + due - 1) % capacity].frame);
        first_ = (first_ + due) % capacity;
        count_ -= due;
        taken.frame = true;
    }
    if (count_ > 0) {
        taken.nextDue = ring_[first_].dueTime;
    } else {
        awake_ = false;
    }
    return taken;
}

bool FrameHoldBack::setTakenOnTicks(bool onTicks) {
    std::lock_guard lock(mutex_);
    onTicks_ = onTicks;
    // Ticks take over from the wake-ups (the caller drops its timer).
    if (onTicks) awake_ = false;
    if (onTicks || count_ == 0 || awake_) return false;
    awake_ = true;
    return true;
}

void FrameHoldBack::clear() {
    std::lock_guard lock(mutex_);
    first_ = 0;
    count_ = 0;
}

bool FrameHoldBack::empty() const {
    std::lock_guard lock(mutex_);
    return count_ == 0;
}

}  // namespace sonavista
