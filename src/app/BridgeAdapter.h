#pragma once

#include "app/BridgeControl.h"
#include "bridge/BrowserPlaybackBridge.h"

#include <memory>

namespace sonavista {

// The browser bridge behind the application's port.
class BridgeAdapter final : public BridgeControl {
public:
    explicit BridgeAdapter(std::shared_ptr<BrowserPlaybackBridge> bridge) : bridge_(std::move(bridge)) {}
    void start() override { bridge_->start(); }
    void stop() override { bridge_->stop(); }

private:
    std::shared_ptr<BrowserPlaybackBridge> bridge_;
};

}  // namespace sonavista
