#include "visualizer/VisualizerView.h"

#include "base/SteadyClock.h"
#include "visualizer/WaveformScene.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace sonavista {

VisualizerView::VisualizerView(std::shared_ptr<OverlayPreferences> preferences,
                               std::shared_ptr<VisualizerModel> model, QWidget* parent,
                               std::shared_ptr<const Clock> clock)
    : QWidget(parent),
      preferences_(std::move(preferences)),
      model_(std::move(model)),
      clock_(clock ? std::move(clock) : std::make_shared<SteadyClock>()) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);

    // Every pixel of the view is written by its paint (a source blit), so nothing under it
    // needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);

    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(frameIntervalMilliseconds);
    connect(timer_, &QTimer::timeout, this, &VisualizerView::advanceFrame);

    // A preference change shows at once instead of at the next tick (update() does nothing
    // while the view is hidden). Model changes arrive with every analysed audio frame; while
    // the frame timer runs its next tick draws them, so they only mark a hidden view's frame
    // as out of date. The observers go away with the view.
    const QPointer<VisualizerView> self(this);
    preferencesToken_ = preferences_->addObserver([self](OverlayPreferences::Property) {
        if (self) {
            self->frameStale_ = true;
            self->update();
        }
    });
    modelToken_ = model_->addObserver([self](VisualizerModel::Property) {
        if (self && !self->isAnimating()) {
            self->frameStale_ = true;
        }
    });
}

VisualizerView::~VisualizerView() {
    if (isAnimating()) model_->frameTicks().setRunning(false);
    preferences_->removeObserver(preferencesToken_);
    model_->removeObserver(modelToken_);
}

void VisualizerView::setCompositorMissing(bool missing) {
    compositorMissing_ = missing;
    frameStale_ = true;
    update();
}

void VisualizerView::setFrameSurface(std::unique_ptr<FrameSurface> surface) {
    surface_ = std::move(surface);
    frameStale_ = true;
    if (QWindow* native = window()->windowHandle()) native->installEventFilter(this);
}

// Frames presented on the surface bypass Qt's backing store, whose copy of the window is then
// out of date. On an expose Qt sends that copy to the window unless something is due for
// painting, so the view asks for a paint first: the exposed window gets the current frame.
bool VisualizerView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && surface_ && watched == window()->windowHandle()) update();
    return QWidget::eventFilter(watched, event);
}

bool VisualizerView::isAnimating() const {
    return timer_->isActive();
}

WaveformInputs VisualizerView::inputsFor(const OverlayPreferences& preferences, const VisualizerModel& model,
                                         double width, double height) {
    WaveformInputs inputs;
    inputs.panelWidth = width;
    inputs.panelHeight = height;
    inputs.color = preferences.color();
    inputs.audioResponsive = preferences.audioResponsive();
    inputs.displayMode = preferences.displayMode();
    inputs.audioLevel = model.audioLevel();
    inputs.motionRate = model.motionRate();
    inputs.beatPulse = model.beatPulse();
    inputs.spectrum = model.spectrum();
    return inputs;
}

WaveformInputs VisualizerView::currentInputs() const {
    WaveformInputs inputs = inputsFor(*preferences_, *model_, width(), height());
    inputs.motionTime = motionPhase_.value();
    return inputs;
}

void VisualizerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    frameStale_ = true;  // the model went on while hidden
    timer_->start();
    model_->frameTicks().setRunning(true);
}

void VisualizerView::hideEvent(QHideEvent* event) {
    timer_->stop();
    model_->frameTicks().setRunning(false);
    QWidget::hideEvent(event);
}

VisualizerView::RowSpan VisualizerView::contentRows(const ImageBuffer& image, std::uint32_t background) {
    return contentRows(image, background, {0, image.height() - 1});
}

VisualizerView::RowSpan VisualizerView::contentRows(const ImageBuffer& image, std::uint32_t background,
                                                    RowSpan within) {
    const int width = image.width();
    const int lowest = std::max(within.first, 0);
    const int highest = std::min(within.last, image.height() - 1);
    if (width <= 0 || highest < lowest) {
        return {};
    }
    // A row of background pixels to compare whole rows against (memcmp is vectorised).
    thread_local std::vector<std::uint32_t> blank;
    if (blank.size() != static_cast<std::size_t>(width) || blank.front() != background) {
        blank.assign(static_cast<std::size_t>(width), background);
    }
    const std::size_t bytes = image.bytesPerLine();
    const auto isBlank = [&](int y) { return std::memcmp(image.row(y), blank.data(), bytes) == 0; };
    RowSpan span;
    int first = lowest;
    while (first <= highest && isBlank(first)) {
        ++first;
    }
    if (first > highest) {
        return span;
    }
    int last = highest;
    while (last > first && isBlank(last)) {
        --last;
    }
    span.first = first;
    span.last = last;
    return span;
}

std::uint32_t VisualizerView::backgroundPixel() const {
    if (compositorMissing_) {
        return 0xff000000u;  // the window is opaque anyway: say so with black
    }
    return WaveformScene::backgroundFor(preferences_->displayMode());
}

bool VisualizerView::useSurfaceFor(int pixelWidth, int pixelHeight) {
    std::uint32_t* memory = nullptr;
    // The surface covers the window from its corner; the notice is painted over the frame.
    const bool fillsWindow = (isWindow() || pos().isNull()) && size() == window()->size();
    if (surface_ && !compositorMissing_ && fillsWindow) {
        memory = surface_->pixels(pixelWidth, pixelHeight);
        if (!memory) surface_.reset();  // it will not work later either
    }
    if (memory) {
        if (image_.data() != memory || image_.width() != pixelWidth || image_.height() != pixelHeight) {
            image_.useMemory(memory, pixelWidth, pixelHeight);
        }
        return true;
    }
    if (image_.usesLentMemory()) image_ = ImageBuffer();
    return false;
}

VisualizerView::RowSpan VisualizerView::renderFrame() {
    WaveformInputs inputs = currentInputs();
    // The ripple moves on by this frame's interval at this frame's rate.
    inputs.motionTime = motionPhase_.advance(clock_->now(), WaveformScene::effectiveMotion(inputs));
    const auto scene = WaveformScene::make(inputs);
    const double ratio = devicePixelRatioF();
    const bool toSurface =
        useSurfaceFor(WaveformRasterizer::pixelWidth(scene, ratio), WaveformRasterizer::pixelHeight(scene, ratio));
    // The rasterizer composites the wave over the background pixel, so the frame is copied
    // to the window as it is, without clearing or blending the whole panel again.
    const std::uint32_t background = backgroundPixel();
    const bool sameLayout = renderedSize_ == size() && renderedRatio_ == ratio && !frameStale_ &&
                            renderedBackground_ == background && renderedToSurface_ == toSurface;
    const RowSpan previous = contentRows_;
    // With the same layout, image_ holds the previous frame: only its content rows can hold
    // anything but the background, so the rasterizer neither reads nor clears the rest.
    const WaveformRasterizer::Rows known{previous.first, previous.last};
    const WaveformRasterizer::Rows band = rasterizer_.render(scene, image_, ratio, background, sameLayout ? &known : nullptr);
    contentRows_ = contentRows(image_, background, {band.first, band.last});
    renderedBackground_ = background;
    renderedSize_ = size();
    renderedRatio_ = ratio;
    renderedToSurface_ = toSurface;
    frameStale_ = false;
    if (!sameLayout) {
        return {0, image_.height() - 1};
    }
    // Rows holding only the background in both frames are unchanged.
    if (previous.empty()) {
        return contentRows_;
    }
    if (contentRows_.empty()) {
        return previous;
    }
    return {std::min(previous.first, contentRows_.first), std::max(previous.last, contentRows_.last)};
}

void VisualizerView::advanceFrame() {
    model_->frameTicks().tick();  // a live source hands its newest values over now
    const RowSpan changed = renderFrame();
    if (changed.empty()) {
        return;
    }
    if (renderedToSurface_) {
        surface_->present(changed.first, changed.last);
        return;
    }
    // Device rows to the view's rows, rounded outwards.
    const double ratio = renderedRatio_ > 0.0 ? renderedRatio_ : 1.0;
    const int top = static_cast<int>(std::floor(changed.first / ratio));
    const int bottom = static_cast<int>(std::ceil((changed.last + 1) / ratio));
    update(QRect(0, top, width(), bottom - top));
}

void VisualizerView::paintEvent(QPaintEvent* event) {
    if (frameStale_ || renderedSize_ != size() || renderedRatio_ != devicePixelRatioF()) {
        renderFrame();
        if (event->rect() != rect()) {
            update();  // a fresh frame may differ anywhere, not only in this region
        }
    }

    // Qt clips the painter to the region asked for, so only those rows are copied.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    QImage frame(reinterpret_cast<const uchar*>(image_.data()), image_.width(), image_.height(),
                 static_cast<qsizetype>(image_.bytesPerLine()), QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(renderedRatio_);
    painter.drawImage(QPointF(0, 0), frame);
    if (compositorMissing_) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        QFont font = painter.font();
        font.setPointSizeF(9.0);
        painter.setFont(font);
        painter.setPen(QColor(255, 255, 255, 200));
        painter.drawText(rect().adjusted(8, 4, -8, -4), Qt::AlignLeft | Qt::AlignTop,
                         tr("No compositor is running, so the overlay cannot be transparent. "
                            "Install and start one (for example picom)."));
    }
}

}  // namespace sonavista
