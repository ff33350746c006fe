#include "visualizer/WaylandSessionProbe.h"

#include <wayland-client.h>

#include <cstdlib>
#include <cstring>

namespace sonavista {

WaylandSessionProbe::Result WaylandSessionProbe::probe() {
    Result result;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) {
        return result;  // wl_display_connect would fall back to "wayland-0"
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return result;
    }
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) {
                static_cast<Result*>(data)->layerShell = true;
            }
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &result);
    result.connected = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return result;
}

}  // namespace sonavista
