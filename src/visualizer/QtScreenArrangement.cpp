#include "visualizer/QtScreenArrangement.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace sonavista {

namespace {

OverlayRect toRect(const QRect& r) {
    return {static_cast<double>(r.x()), static_cast<double>(r.y()), static_cast<double>(r.width()),
            static_cast<double>(r.height())};
}

}  // namespace

QtScreenArrangement::QtScreenArrangement(QObject* parent) : QObject(parent) {
    const auto screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        watch(screen);
    }
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watch(screen);
        changed();
    });
    // Qt sends screenRemoved before dropping the screen from screens(); let that settle.
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen*) { changed(); },
            Qt::QueuedConnection);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen*) { changed(); });
}

void QtScreenArrangement::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this](const QRect&) { changed(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this](const QRect&) { changed(); });
}

void QtScreenArrangement::changed() {
    if (handler_) {
        auto handler = handler_;
        handler();
    }
}

std::vector<OverlayScreen> QtScreenArrangement::screens() const {
    std::vector<OverlayScreen> result;
    const auto screens = QGuiApplication::screens();
    for (const QScreen* screen : screens) {
        result.push_back({toRect(screen->geometry()), toRect(screen->availableGeometry())});
    }
    return result;
}

std::optional<std::size_t> QtScreenArrangement::mainScreen() const {
    const auto screens = QGuiApplication::screens();
    const auto index = screens.indexOf(QGuiApplication::primaryScreen());
    if (index < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index);
}

std::optional<OverlayPoint> QtScreenArrangement::pointer() const {
    if (QGuiApplication::screens().isEmpty()) {
        return std::nullopt;
    }
    if (workingOutput_) {
        return OverlayPoint{workingOutput_->x + workingOutput_->width / 2.0, workingOutput_->y + workingOutput_->height / 2.0};
    }
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return std::nullopt;  // QCursor::pos() is stale or (0, 0) outside our own windows
    }
    const QPoint position = QCursor::pos();
    return OverlayPoint{static_cast<double>(position.x()), static_cast<double>(position.y())};
}

void QtScreenArrangement::setWorkingOutput(const PixelRect& output) {
    if (workingOutput_ == output) return;
    workingOutput_ = output;
    changed();
}

void QtScreenArrangement::setChangeHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
}

}  // namespace sonavista
