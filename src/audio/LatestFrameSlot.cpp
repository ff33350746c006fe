#include "audio/LatestFrameSlot.h"

#include <utility>

namespace sonavista {

bool LatestFrameSlot::store(const AudioVisualizationFrame& frame) {
    std::lock_guard lock(mutex_);
    frame_.level = frame.level;
    frame_.motionRate = frame.motionRate;
    frame_.beatPulse = frame.beatPulse;
    frame_.spectrum.assign(frame.spectrum.begin(), frame.spectrum.end());
    fresh_ = true;
    if (onTicks_ || wakeUpPending_) return false;
    wakeUpPending_ = true;
    return true;
}

void LatestFrameSlot::wokenUp() {
    std::lock_guard lock(mutex_);
    wakeUpPending_ = false;
}

bool LatestFrameSlot::take(AudioVisualizationFrame& frame) {
    std::lock_guard lock(mutex_);
    if (!fresh_) return false;
    fresh_ = false;
    std::swap(frame, frame_);
    return true;
}

bool LatestFrameSlot::setTakenOnTicks(bool onTicks) {
    std::lock_guard lock(mutex_);
    onTicks_ = onTicks;
    if (onTicks || !fresh_ || wakeUpPending_) return false;
    wakeUpPending_ = true;
    return true;
}

void LatestFrameSlot::clear() {
    std::lock_guard lock(mutex_);
    fresh_ = false;
}

}  // namespace sonavista
