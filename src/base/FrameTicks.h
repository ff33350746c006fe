#pragma once

#include "base/ObserverList.h"

#include <utility>

namespace sonavista {

// The overlay's frame clock, for the parts that produce what a frame shows on another thread.
// While a renderer draws on a timer of its own it sets the clock running and calls `tick()`
// just before each frame reads its inputs; a producer can then hand its newest value over at
// the tick instead of waking the main thread for every value, and go back to waking it once
// the clock stops. Listeners hear `started`, every `tick` and `stopped`, in that order.
// Main thread only.
class FrameTicks {
public:
    enum class Event { started, tick, stopped };
    using Listener = ObserverList<Event>::Observer;
    using Token = ObserverList<Event>::Token;

    Token addListener(Listener listener) { return listeners_.add(std::move(listener)); }
    // Unknown tokens are ignored; safe to call from inside a notification.
    void removeListener(Token token) { listeners_.remove(token); }

    bool isRunning() const { return running_; }
    // The renderer's frame timer started or stopped; setting the current state again does nothing.
    void setRunning(bool running) {
        if (running == running_) return;
        running_ = running;
        listeners_.notify(running ? Event::started : Event::stopped);
    }
    // Just before a frame reads its inputs; ignored while the clock is not running.
    void tick() {
        if (running_) listeners_.notify(Event::tick);
    }

private:
    ObserverList<Event> listeners_;
    bool running_ = false;
};

}  // namespace sonavista
