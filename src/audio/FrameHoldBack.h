#pragma once

#include "audio/AudioVisualizationFrame.h"

#include <array>
#include <cstddef>
#include <mutex>
#include <optional>

namespace sonavista {

// Analysed frames held back until their sound comes out of the speakers. The analysis reads
// the output's monitor, which carries each sound as it enters the output, but the listener
// hears it the output's latency later (a few tens of milliseconds on a sound card, a few
// hundred on Bluetooth headphones): each frame is kept with the time it is due and handed to
// the main thread from then on. It is a short ring of frames whose storage is reused, so
// holding back costs a copy per frame and no analysis.
//
// The main thread takes frames on the overlay's frame ticks (`setTakenOnTicks(true)`) or when
// woken: `push` answers whether the caller has to wake it, and `take` tells when the next held
// frame is due, for a timer. While the main thread is awake for held frames (woken and not
// yet found the ring empty) no further wake-up is asked for. `push` may be called from any
// thread, everything else on the main thread.
class FrameHoldBack {
public:
    // Enough for 0.9 s of frames at 30 a second: more than the longest hold-back.
    static constexpr std::size_t capacity = 28;

    struct Taken {
        bool frame = false;              // a due frame was moved out
        std::optional<double> nextDue;   // when the next held frame is due; nothing when none is held
    };

    // Keeps a copy of `frame` until `dueTime` (seconds on the caller's monotonic clock). When
    // the ring is full the oldest frame is dropped. True when the caller must now wake the
    // main thread (which then calls `take`).
    bool push(const AudioVisualizationFrame& frame, double dueTime);
    // Moves the newest frame due at `now` into `frame` (swapping storage) and drops the older
    // due ones. A caller that was woken arms a timer for `nextDue` when there is one; when the
    // ring is left empty a later `push` wakes the main thread again.
    Taken take(double now, AudioVisualizationFrame& frame);
    // Whether frames are taken on ticks from now on; starting them ends the wake-ups (the
    // caller cancels its timer). Stopping answers whether frames are held and nothing wakes
    // the main thread for them yet, so that the caller wakes it.
    bool setTakenOnTicks(bool onTicks);
    // Forgets every held frame.
    void clear();
    bool empty() const;

private:
    struct Held {
        AudioVisualizationFrame frame;
        double dueTime = 0.0;
    };

    mutable std::mutex mutex_;
    std::array<Held, capacity> ring_;
    std::size_t first_ = 0;  // oldest held frame
    std::size_t count_ = 0;
    bool onTicks_ = false;
    bool awake_ = false;  // the main thread was woken and has not found the ring empty since
};

}  // namespace sonavista
