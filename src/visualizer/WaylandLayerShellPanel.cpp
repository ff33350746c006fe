#include "visualizer/WaylandLayerShellPanel.h"

#include "base/SteadyClock.h"
#include "visualizer/VisualizerView.h"
#include "visualizer/WaveformScene.h"

#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>

#include <wayland-client.h>
// The generated header names a parameter `namespace`, a C++ keyword.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace sonavista {

// One output with its place in the global logical space (from xdg-output when offered, else
// from wl_output's position and current mode).
struct WaylandLayerShellPanel::Output {
    WaylandLayerShellPanel* panel = nullptr;
    std::uint32_t name = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    int scale = 1;  // device pixels per logical pixel

    ~Output() {
        if (xdgOutput) zxdg_output_v1_destroy(xdgOutput);
        if (output) wl_output_destroy(output);
    }
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
    PixelRect rect() const { return {x, y, width, height}; }
};

// The C listeners of the protocol objects, each forwarding to the panel (or output) in `data`.
struct WaylandListeners {
    using Panel = WaylandLayerShellPanel;
    using Output = WaylandLayerShellPanel::Output;

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        auto& panel = *static_cast<Panel*>(data);
        const auto bind = [&](const wl_interface* type, std::uint32_t highest) {
            return wl_registry_bind(registry, name, type, std::min(version, highest));
        };
        if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
            panel.compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
        } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            panel.shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
        } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
            panel.layerShellVersion_ = std::min<std::uint32_t>(version, 4);
            panel.layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
        } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
            panel.outputManager_ =
                static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
            for (auto& output : panel.outputs_) panel.watchOutput(*output);
        } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
            auto output = std::make_unique<Output>();
            output->panel = &panel;
            output->name = name;
            output->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
            wl_output_add_listener(output->output, &outputListener, output.get());
            panel.watchOutput(*output);
            panel.outputs_.push_back(std::move(output));
        }
    }

    static void globalRemove(void* data, wl_registry*, std::uint32_t name) {
        auto& panel = *static_cast<Panel*>(data);
        auto& outputs = panel.outputs_;
        const auto gone = std::find_if(outputs.begin(), outputs.end(), [name](auto& o) { return o->name == name; });
        if (gone == outputs.end()) return;
        // A surface on it is closed with it; the next frame creates it again on another output.
        if (panel.surfaceOutput_ == (*gone)->output) panel.destroySurface();
        outputs.erase(gone);
    }

    static void geometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                         std::int32_t, const char*, const char*, std::int32_t) {
        auto& output = *static_cast<Output*>(data);
        if (!output.xdgOutput) output.x = x, output.y = y;
    }
    static void mode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
                     std::int32_t) {
        auto& output = *static_cast<Output*>(data);
        if (!output.xdgOutput && (flags & WL_OUTPUT_MODE_CURRENT)) output.width = width, output.height = height;
    }
    static void logicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
        auto& output = *static_cast<Output*>(data);
        output.x = x, output.y = y;
    }
    static void logicalSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
        auto& output = *static_cast<Output*>(data);
        output.width = width, output.height = height;
    }

    static void configure(void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
                          std::uint32_t height) {
        static_cast<Panel*>(data)->configure(serial, width, height);
    }
    static void closed(void* data, zwlr_layer_surface_v1*) {
        // Its output went away or the compositor removed it: the surface is destroyed here, and
        // the next frame tick of a shown panel creates a new one where the compositor puts it.
        static_cast<Panel*>(data)->destroySurface();
    }
    static void enter(void* data, wl_surface*, wl_output* output) { static_cast<Panel*>(data)->entered(output); }
    static void leave(void*, wl_surface*, wl_output*) {}
    static void frameDone(void* data, wl_callback* callback, std::uint32_t) {
        auto& panel = *static_cast<Panel*>(data);
        wl_callback_destroy(callback);
        if (panel.frameCallback_ == callback) panel.frameCallback_ = nullptr;
    }

    static void scale(void* data, wl_output*, std::int32_t factor) {
        static_cast<Output*>(data)->scale = std::max(factor, 1);
    }
    static void done(void* data, wl_output*) {
        auto& output = *static_cast<Output*>(data);
        output.panel->outputChanged(output);
    }
    static void ignoreText(void*, wl_output*, const char*) {}
    static void ignoreXdgDone(void*, zxdg_output_v1*) {}
    static void ignoreXdgText(void*, zxdg_output_v1*, const char*) {}

    static constexpr wl_registry_listener registryListener = {global, globalRemove};
    static constexpr wl_output_listener outputListener = {geometry, mode, done, scale, ignoreText, ignoreText};
    static constexpr zxdg_output_v1_listener xdgOutputListener = {logicalPosition, logicalSize, ignoreXdgDone,
                                                                  ignoreXdgText, ignoreXdgText};
    static constexpr zwlr_layer_surface_v1_listener layerSurfaceListener = {configure, closed};
    static constexpr wl_callback_listener frameListener = {frameDone};
    static constexpr wl_surface_listener surfaceListener = {enter, leave};
};

std::shared_ptr<WaylandLayerShellPanel> WaylandLayerShellPanel::connect(std::shared_ptr<OverlayPreferences> preferences,
                                                                        std::shared_ptr<VisualizerModel> model,
                                                                        std::shared_ptr<const Clock> clock) {
    // Without WAYLAND_DISPLAY, wl_display_connect would try "wayland-0" anyway.
    wl_display* display = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? nullptr : wl_display_connect(nullptr);
    if (!display) {
        return nullptr;
    }
    std::shared_ptr<WaylandLayerShellPanel> panel(new WaylandLayerShellPanel(
        std::move(preferences), std::move(model), clock ? std::move(clock) : std::make_shared<SteadyClock>(),
        display));
    if (!panel->bindGlobals()) {
        return nullptr;
    }
    return panel;
}

WaylandLayerShellPanel::WaylandLayerShellPanel(std::shared_ptr<OverlayPreferences> preferences,
                                               std::shared_ptr<VisualizerModel> model,
                                               std::shared_ptr<const Clock> clock, wl_display* display)
    : preferences_(std::move(preferences)), model_(std::move(model)), clock_(std::move(clock)), display_(display) {
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(VisualizerView::frameIntervalMilliseconds);
    QObject::connect(timer_, &QTimer::timeout, this, &WaylandLayerShellPanel::tick);
    // A preference change (colour, mode) redraws the whole frame at the next tick.
    preferencesToken_ = preferences_->addObserver([this](OverlayPreferences::Property) { frameStale_ = true; });
}

WaylandLayerShellPanel::~WaylandLayerShellPanel() {
    if (timer_->isActive()) model_->frameTicks().setRunning(false);
    preferences_->removeObserver(preferencesToken_);
    delete notifier_;
    destroySurface();
    outputs_.clear();
    if (outputManager_) zxdg_output_manager_v1_destroy(outputManager_);
    if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
    if (shm_) wl_shm_destroy(shm_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

bool WaylandLayerShellPanel::bindGlobals() {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &WaylandListeners::registryListener, this);
    // The first round trip lists the globals, the second brings the outputs' places.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
        return false;
    }
    if (!compositor_ || !shm_ || !layerShell_) {
        return false;
    }
    notifier_ = new QSocketNotifier(wl_display_get_fd(display_), QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, &WaylandLayerShellPanel::dispatch);
    return true;
}

void WaylandLayerShellPanel::watchOutput(Output& output) {
    if (outputManager_ && !output.xdgOutput) {
        output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(outputManager_, output.output);
        zxdg_output_v1_add_listener(output.xdgOutput, &WaylandListeners::xdgOutputListener, &output);
    }
}

void WaylandLayerShellPanel::dispatch() {
    if (wl_display_dispatch(display_) < 0) {
        connectionLost();
    }
}

void WaylandLayerShellPanel::flush() {
    if (!lost_ && wl_display_flush(display_) < 0 && errno != EAGAIN) {
        connectionLost();
    }
}

// The compositor went away: the panel stays "shown" for the controller but draws nothing.
void WaylandLayerShellPanel::connectionLost() {
    if (lost_) return;
    lost_ = true;
    notifier_->setEnabled(false);
    timer_->stop();
    model_->frameTicks().setRunning(false);
    qWarning("sonavista: the Wayland connection of the overlay was lost");
    if (lostHandler_) lostHandler_();
}

void WaylandLayerShellPanel::setLevel(OverlayWindowLevel level) {
    if (level == level_) return;
    level_ = level;
    if (!layerSurface_) return;
    if (layerShellVersion_ >= ZWLR_LAYER_SURFACE_V1_SET_LAYER_SINCE_VERSION) {
        zwlr_layer_surface_v1_set_layer(layerSurface_, level == OverlayWindowLevel::floating
                                                           ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY
                                                           : ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM);
        wl_surface_commit(surface_);
        flush();
    } else {
        destroySurface();
        createSurface();
    }
}

// The surface stays on its output: a frame on another screen only gives its offset and size.
void WaylandLayerShellPanel::setFrame(const PixelRect& frame) {
    if (frame == frame_) return;
    frame_ = frame;
    if (!shown_ || !layerSurface_) return;  // placed when it is created
    placeSurface();
    wl_surface_commit(surface_);
    flush();
}

void WaylandLayerShellPanel::showPanel() {
    if (shown_) return;
    shown_ = true;
    createSurface();
    if (lost_) return;
    timer_->start();
    model_->frameTicks().setRunning(true);
}

void WaylandLayerShellPanel::hidePanel() {
    if (!shown_) return;
    shown_ = false;
    timer_->stop();
    model_->frameTicks().setRunning(false);
    destroySurface();
}

const WaylandLayerShellPanel::Output* WaylandLayerShellPanel::outputOf(const wl_output* output) const {
    for (const auto& candidate : outputs_) {
        if (candidate->output == output) return candidate.get();
    }
    return nullptr;
}

// The surface is on an output now: drawn at its scale, and the frame computed for its screen.
void WaylandLayerShellPanel::entered(wl_output* output) {
    surfaceOutput_ = output;
    if (const Output* entered = outputOf(output)) outputChanged(*const_cast<Output*>(entered));
}

void WaylandLayerShellPanel::outputChanged(Output& output) {
    if (!surface_ || output.output != surfaceOutput_) return;
    // Drawn at the output's scale where the compositor takes scaled buffers (else it scales up);
    // a new scale redraws the whole frame into buffers of the new size.
    const int scale = wl_surface_get_version(surface_) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION ? output.scale : 1;
    if (scale != scale_) {
        scale_ = scale;
        frameStale_ = true;
    }
    if (outputHandler_ && output.width > 0 && output.height > 0) outputHandler_(output.rect());
}

void WaylandLayerShellPanel::createSurface() {
    if (lost_ || surface_) return;
    surface_ = wl_compositor_create_surface(compositor_);
    wl_surface_add_listener(surface_, &WaylandListeners::surfaceListener, this);
    scale_ = 1;  // until it enters an output
    appliedScale_ = 1;
    // Clicks and scrolls pass through to whatever lies below.
    wl_region* empty = wl_compositor_create_region(compositor_);
    wl_surface_set_input_region(surface_, empty);
    wl_region_destroy(empty);
    // No output: the compositor's current one (the application cannot know where the user is).
    layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(
        layerShell_, surface_, nullptr,
        level_ == OverlayWindowLevel::floating ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM,
        layerNamespace);
    zwlr_layer_surface_v1_add_listener(layerSurface_, &WaylandListeners::layerSurfaceListener, this);
    zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(layerSurface_, 0);
    zwlr_layer_surface_v1_set_anchor(layerSurface_,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
    placeSurface();
    configured_ = false;
    wl_surface_commit(surface_);  // no buffer yet: asks for the first configure
    flush();
}

// Size, and margins from the output's top left corner: the frame's offset within the output
// that holds its centre (else within the surface's output), applied on the surface's output.
void WaylandLayerShellPanel::placeSurface() {
    const int cx = frame_.x + frame_.width / 2, cy = frame_.y + frame_.height / 2;
    const Output* origin = outputOf(surfaceOutput_);
    for (const auto& output : outputs_) {
        if (output->contains(cx, cy)) origin = output.get();
    }
    int left = frame_.x, top = frame_.y;
    if (origin) left -= origin->x, top -= origin->y;
    zwlr_layer_surface_v1_set_size(layerSurface_, static_cast<std::uint32_t>(std::max(frame_.width, 1)),
                                   static_cast<std::uint32_t>(std::max(frame_.height, 1)));
    zwlr_layer_surface_v1_set_margin(layerSurface_, top, 0, 0, left);
}

void WaylandLayerShellPanel::destroySurface() {
    if (frameCallback_) wl_callback_destroy(frameCallback_);
    if (layerSurface_) zwlr_layer_surface_v1_destroy(layerSurface_);
    if (surface_) wl_surface_destroy(surface_);
    frameCallback_ = nullptr;
    layerSurface_ = nullptr;
    surface_ = nullptr;
    surfaceOutput_ = nullptr;
    configured_ = false;
    buffers_.clear();  // no longer attached anywhere
    flush();
}

void WaylandLayerShellPanel::configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
    width_ = width ? static_cast<int>(width) : std::max(frame_.width, 1);
    height_ = height ? static_cast<int>(height) : std::max(frame_.height, 1);
    configured_ = true;
    if (!frameCallback_) draw();  // a configured surface shows nothing until a buffer comes
}

void WaylandLayerShellPanel::tick() {
    model_->frameTicks().tick();  // a live source hands its newest values over now
    if (!surface_) createSurface();  // the compositor closed it
    // Only when the compositor has shown the previous frame and asked for the next one.
    if (configured_ && !frameCallback_) draw();
}

WaylandShmBuffer* WaylandLayerShellPanel::freeBuffer() {
    // Buffers of an older size go once the compositor has let go of them.
    const int width = width_ * scale_, height = height_ * scale_;
    std::erase_if(buffers_, [&](const auto& b) { return !b->busy() && (b->width() != width || b->height() != height); });
    for (auto& buffer : buffers_) {
        if (!buffer->busy() && buffer->width() == width && buffer->height() == height) return buffer.get();
    }
    if (buffers_.size() >= 3) return nullptr;  // the compositor holds them all: skip this frame
    auto buffer = std::make_unique<WaylandShmBuffer>(shm_, width, height);
    if (!buffer->valid()) return nullptr;
    buffers_.push_back(std::move(buffer));
    return buffers_.back().get();
}

void WaylandLayerShellPanel::draw() {
    WaylandShmBuffer* buffer = freeBuffer();
    if (!buffer) return;

    WaveformInputs inputs = VisualizerView::inputsFor(*preferences_, *model_, width_, height_);
    inputs.motionTime = motionPhase_.advance(clock_->now(), WaveformScene::effectiveMotion(inputs));

    // The rasterizer composites over the background and, for the same layout, touches only
    // the rows the previous frame or this one may reach.
    const std::uint32_t background = WaveformScene::backgroundFor(preferences_->displayMode());
    const int pixelWidth = buffer->width(), pixelHeight = buffer->height();
    if (frameStale_ || background != background_ || image_.width() != pixelWidth || image_.height() != pixelHeight) {
        ++layout_;
        frameStale_ = false;
        background_ = background;
        contentFirst_ = 0;
        contentLast_ = -1;
        image_.resize(pixelWidth, pixelHeight);
        image_.fill(background);
    }
    const WaveformRasterizer::Rows known{contentFirst_, contentLast_};
    const auto band = rasterizer_.render(WaveformScene::make(inputs), image_, scale_, background, &known);
    const auto content = VisualizerView::contentRows(image_, background, {band.first, band.last});
    const int previousFirst = contentFirst_, previousLast = contentLast_;
    contentFirst_ = content.first;
    contentLast_ = content.last;

    // Rows to write: everything for a buffer of another layout, else what it held or holds now.
    const auto unite = [](int aFirst, int aLast, int bFirst, int bLast) {
        if (aLast < aFirst) return std::pair{bFirst, bLast};
        if (bLast < bFirst) return std::pair{aFirst, aLast};
        return std::pair{std::min(aFirst, bFirst), std::max(aLast, bLast)};
    };
    auto [first, last] = buffer->layout == layout_
                             ? unite(buffer->contentFirst, buffer->contentLast, contentFirst_, contentLast_)
                             : std::pair{0, pixelHeight - 1};
    for (int y = first; y <= last; ++y) {
        std::memcpy(buffer->row(y), image_.row(y), image_.bytesPerLine());
    }
    buffer->layout = layout_;
    buffer->contentFirst = contentFirst_;
    buffer->contentLast = contentLast_;

    // Damage against the frame shown before: the rows either frame's wave reaches.
    auto [damageFirst, damageLast] = unite(previousFirst, previousLast, contentFirst_, contentLast_);
    if (first == 0 && last == pixelHeight - 1) {  // the whole buffer was written
        damageFirst = 0, damageLast = pixelHeight - 1;
    }
    if (scale_ != appliedScale_) {
        wl_surface_set_buffer_scale(surface_, scale_);
        appliedScale_ = scale_;
    }
    wl_surface_attach(surface_, buffer->attach(), 0, 0);
    if (damageLast >= damageFirst) {  // in logical rows, rounded outwards
        const int top = damageFirst / scale_, bottom = (damageLast + scale_) / scale_;
        wl_surface_damage(surface_, 0, top, width_, bottom - top);
    }
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &WaylandListeners::frameListener, this);
    wl_surface_commit(surface_);
    ++framesDrawn_;
    flush();
}

}  // namespace sonavista
