#pragma once

#include "audio/AudioVisualizationFrame.h"

#include <mutex>

namespace sonavista {

// The newest analysed frame on its way from the analysis thread to the main thread. Only the
// latest counts: a frame that has not been taken yet is replaced by the next one, in place
// (the spectrum's storage is reused, so handing frames over allocates nothing once warm).
//
// The main thread takes frames either on a clock of its own (`setTakenOnTicks(true)`: the
// overlay's frame tick) or when woken. `store` answers whether the caller has to wake the main
// thread: only when nothing takes frames on ticks and no wake-up is already on its way, so
// the main thread wakes at most once for any number of frames stored before it runs.
// `store` may be called from any thread, everything else on the main thread.
class LatestFrameSlot {
public:
    // Keeps a copy of `frame`; true when the caller must now wake the main thread to take it
    // (and call `wokenUp` there).
    bool store(const AudioVisualizationFrame& frame);
    // The wake-up asked for by `store` runs: later frames may ask for another one.
    void wokenUp();
    // Moves the frame not taken yet into `frame` (swapping storage); false when there is none.
    bool take(AudioVisualizationFrame& frame);
    // Whether frames are taken on ticks from now on. Stopping answers whether a frame stored
    // meanwhile is still waiting, so that the caller wakes the main thread for it.
    bool setTakenOnTicks(bool onTicks);
    // Forgets a frame not taken yet.
    void clear();

private:
    std::mutex mutex_;
    AudioVisualizationFrame frame_;
    bool fresh_ = false;
    bool onTicks_ = false;
    bool wakeUpPending_ = false;
};

}  // namespace sonavista
