#pragma once

#include "base/Clock.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/FrameSurface.h"
#include "visualizer/MotionPhase.h"
#include "visualizer/ImageBuffer.h"
#include "visualizer/VisualizerModel.h"
#include "visualizer/WaveformInputs.h"
#include "visualizer/WaveformRasterizer.h"

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace sonavista {

// The overlay's content: the waveform drawn from the preferences and the visualizer model,
// repainted at most 30 times a second and only while the view is shown. In fullscreen fog
// mode a faint white tint lies under the wave (the window adds the blurred backdrop).
// The view never takes mouse input.
//
// While shown, a frame timer alone paces the frames: each tick renders the next frame from
// the model as it is then, and asks for a repaint of only the rows that differ from the
// previous frame (rows that hold nothing but the background in both stay as they are).
// Model changes between ticks wait for the next tick; preference changes repaint at once.
// The timer is the model's frame clock (VisualizerModel::frameTicks): running while the view
// is shown, ticking just before each frame reads the model.
//
// Given a FrameSurface, the frames are drawn into the window's own memory and each tick
// presents its changed rows there itself; Qt only paints the view when it asks to (showing,
// resizing, exposing), from the same frame. Without a compositor (the notice is painted over
// the frame) or a usable surface, every frame is painted through Qt.
class VisualizerView final : public QWidget {
    Q_OBJECT
public:
    // Frames are at least this far apart (just over 1/30 s, so never more than 30 a second).
    static constexpr int frameIntervalMilliseconds = 34;

    // `clock` paces the animation in monotonic seconds; a SteadyClock when absent.
    VisualizerView(std::shared_ptr<OverlayPreferences> preferences, std::shared_ptr<VisualizerModel> model,
                   QWidget* parent = nullptr, std::shared_ptr<const Clock> clock = nullptr);
    ~VisualizerView() override;

    // Set by the window when no compositor runs: the panel is opaque then, and a short
    // notice in it tells the user why.
    void setCompositorMissing(bool missing);
    bool compositorMissing() const { return compositorMissing_; }
    // Where frames go from now on when the view fills its window from the top-left corner
    // (whose native window exists by now).
    void setFrameSurface(std::unique_ptr<FrameSurface> surface);
    bool isAnimating() const;

    // What the next frame is drawn from, the ripple where the last frame left it.
    WaveformInputs currentInputs() const;
    // The scene inputs for a panel of `width` × `height` points, from the settings and the
    // model (the motion time is the caller's); shared with the Wayland panel.
    static WaveformInputs inputsFor(const OverlayPreferences& preferences, const VisualizerModel& model, double width,
                                    double height);

    // The rows of `image` (first, last) that hold anything but `background`; {0, -1} when
    // every row is background only.
    struct RowSpan {
        int first = 0;
        int last = -1;
        bool empty() const { return last < first; }
    };
    static RowSpan contentRows(const ImageBuffer& image, std::uint32_t background);
    // The same, when only rows `within` may hold anything but `background`: rows outside it
    // are not read, so finding the edges of a thin band in a tall image costs a few rows.
    static RowSpan contentRows(const ImageBuffer& image, std::uint32_t background, RowSpan within);

    // The timer's tick: renders the next frame and schedules the repaint of the rows it changed.
    void advanceFrame();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::uint32_t backgroundPixel() const;
    // Points image_ at the surface's memory for a frame of this size, or back at memory of its
    // own when there is no usable surface; answers whether frames go to the surface.
    bool useSurfaceFor(int pixelWidth, int pixelHeight);
    // Renders a frame from the current inputs into image_; answers the rows that may differ
    // from the frame image_ held before (in device pixels).
    RowSpan renderFrame();

    std::shared_ptr<OverlayPreferences> preferences_;
    std::shared_ptr<VisualizerModel> model_;
    std::shared_ptr<const Clock> clock_;
    OverlayPreferences::ObserverToken preferencesToken_ = 0;
    VisualizerModel::ObserverToken modelToken_ = 0;
    QTimer* timer_ = nullptr;
    WaveformRasterizer rasterizer_;
    ImageBuffer image_;
    RowSpan contentRows_;                       // of image_
    QSize renderedSize_;                        // the view's size and pixel ratio image_ was drawn for
    double renderedRatio_ = 0.0;
    std::uint32_t renderedBackground_ = 0;       // the background image_ was drawn over
    std::unique_ptr<FrameSurface> surface_;
    bool renderedToSurface_ = false;             // image_ is the surface's memory
    // image_ no longer shows what the view should: set when a preference or, while no tick
    // runs, the model changes; the next paint renders a fresh frame.
    bool frameStale_ = true;
    bool compositorMissing_ = false;
    // The ripple's time, advanced by every rendered frame (see WaveformInputs::motionTime).
    MotionPhase motionPhase_;
};

}  // namespace sonavista
