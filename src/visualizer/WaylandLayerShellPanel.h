#pragma once

#include "base/Clock.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/MotionPhase.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/OverlayPanel.h"
#include "visualizer/VisualizerModel.h"
#include "visualizer/WaveformRasterizer.h"
#include "visualizer/WaylandShmBuffer.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class QTimer;

struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wl_surface;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct zxdg_output_manager_v1;

namespace sonavista {

// The overlay panel on Wayland compositors that offer layer-shell: a layer surface on the
// overlay layer (the bottom layer when the panel lies below windows), anchored to the top left
// of its output with margins that put it on the frame it is given, reserving no space, taking
// no keyboard focus and no pointer input (empty input region). It is drawn by the waveform
// rasterizer into shared-memory buffers, at the scale of its output.
//
// It runs on a Wayland connection of its own, beside whatever platform Qt uses, so it depends
// on no Qt internals: the connection's socket is watched by a QSocketNotifier on the main
// thread. Frames are paced by the compositor's frame callbacks and a 34 ms timer (at most 30
// a second, none while the compositor does not want one, e.g. while the output is off); the
// timer is the model's frame clock (VisualizerModel::frameTicks) while the panel is shown.
//
// The surface is created without an output, so the compositor puts it on the output it
// considers current (where the user works: pointer or keyboard focus), which the application
// cannot see itself. Once the surface enters that output the panel reports the output's
// rectangle (see setOutputHandler) so the frame can be computed for it. Frames are given in the
// global logical coordinates of the outputs (what xdg-output reports, and what Qt's Wayland
// screens say); the panel keeps the frame's offset within its screen on whichever output the
// surface lies. It follows its output's scale (redrawn sharp after a change), comes back on the
// next frame after the compositor closes it (its output unplugged), and stops drawing after a
// lost connection, which it reports once (setConnectionLostHandler). Main thread only.
class WaylandLayerShellPanel final : public QObject, public OverlayPanel {
    Q_OBJECT
public:
    static constexpr const char* layerNamespace = "sonavista";

    // Null when no compositor answers on WAYLAND_DISPLAY or it lacks layer-shell.
    static std::shared_ptr<WaylandLayerShellPanel> connect(std::shared_ptr<OverlayPreferences> preferences,
                                                           std::shared_ptr<VisualizerModel> model,
                                                           std::shared_ptr<const Clock> clock = nullptr);
    ~WaylandLayerShellPanel() override;

    void setLevel(OverlayWindowLevel level) override;
    // No blur protocol is used: the fog keeps its translucent tint alone.
    void setFrostedBackdrop(bool) override {}
    void setFrame(const PixelRect& frame) override;
    void showPanel() override;
    void hidePanel() override;
    bool isVisible() const override { return shown_; }

    // Frames committed so far (for benchmarks and tests).
    std::uint64_t framesDrawn() const { return framesDrawn_; }

    // Called with the global logical rectangle of the output the surface lies on, whenever
    // the surface enters an output or that output moves.
    void setOutputHandler(std::function<void(const PixelRect&)> handler) { outputHandler_ = std::move(handler); }
    // Called once when the connection to the compositor is lost.
    void setConnectionLostHandler(std::function<void()> handler) { lostHandler_ = std::move(handler); }

    struct Output;

private:
    WaylandLayerShellPanel(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<VisualizerModel> model,
                           std::shared_ptr<const Clock> clock, wl_display* display);
    bool bindGlobals();
    void watchOutput(Output& output);
    void dispatch();
    void flush();
    void connectionLost();
    void createSurface();
    void destroySurface();
    void placeSurface();
    const Output* outputOf(const wl_output* output) const;
    void entered(wl_output* output);
    void outputChanged(Output& output);
    void configure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void tick();
    void draw();
    WaylandShmBuffer* freeBuffer();

    friend struct WaylandListeners;

    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<VisualizerModel> model_;
    std::shared_ptr<const Clock> clock_;
    MotionPhase motionPhase_;  // the ripple's running time
    OverlayPreferences::ObserverToken preferencesToken_ = 0;

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    std::uint32_t layerShellVersion_ = 0;
    zxdg_output_manager_v1* outputManager_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    bool lost_ = false;

    std::function<void(const PixelRect&)> outputHandler_;
    std::function<void()> lostHandler_;

    // The surface, while shown (none for a moment after the compositor closed it).
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layerSurface_ = nullptr;
    wl_output* surfaceOutput_ = nullptr;  // the output it entered last; null until it enters one
    int scale_ = 1;  // of the surface's output: buffers are drawn at that many pixels per point
    int appliedScale_ = 1;  // the buffer scale last set on the surface
    wl_callback* frameCallback_ = nullptr;
    bool configured_ = false;

    OverlayWindowLevel level_ = OverlayWindowLevel::desktopLayer;
    PixelRect frame_{0, 0, 1, 1};
    bool shown_ = false;

    // The frame: drawn into image_ (in device pixels), copied into a free buffer row by row.
    int width_ = 0;  // logical size, as configured
    int height_ = 0;
    WaveformRasterizer rasterizer_;
    ImageBuffer image_;
    int contentFirst_ = 0;  // rows of image_ that may hold anything but the background
    int contentLast_ = -1;
    std::uint32_t background_ = 0;
    // Counts layout changes (size, background, preference): buffers written for an older one
    // are rewritten whole.
    std::uint64_t layout_ = 1;
    bool frameStale_ = true;
    std::vector<std::unique_ptr<WaylandShmBuffer>> buffers_;
    std::uint64_t framesDrawn_ = 0;
};

}  // namespace sonavista
