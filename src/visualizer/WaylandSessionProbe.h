#pragma once

namespace sonavista {

// Asks the Wayland compositor named by WAYLAND_DISPLAY what it offers, on a short-lived
// connection of its own. Used once at start-up, before Qt connects.
class WaylandSessionProbe {
public:
    struct Result {
        bool connected = false;   // a compositor answered
        bool layerShell = false;  // it offers zwlr_layer_shell_v1
    };
    static Result probe();
};

}  // namespace sonavista
