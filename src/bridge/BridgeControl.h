#pragma once

namespace sonavista {

// The browser bridge's lifetime as the application drives it; BrowserPlaybackBridge
// implements it.
class BridgeControl {
public:
    virtual ~BridgeControl() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

}  // namespace sonavista
