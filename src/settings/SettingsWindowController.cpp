#include "settings/SettingsWindowController.h"

#include "settings/SettingsView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace sonavista {

SettingsWindowController::SettingsWindowController(std::unique_ptr<SettingsView> rootView)
    : window_(std::make_unique<QWidget>(nullptr, Qt::Window)), rootView_(rootView.release()) {
    window_->setObjectName(QStringLiteral("settingsWindow"));
    window_->setWindowTitle(QStringLiteral("Sonavista Settings"));
    window_->setMinimumSize(560, 430);
    window_->resize(620, 470);
    // Tiling Wayland compositors (sway and others) tile every window that can be resized over
    // the whole output, above the overlay's desktop layer; one of a fixed size they float at
    // that size. Stacking compositors show it as before, only without resizing.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) window_->setFixedSize(620, 470);
    // Closing hides the window; it is deleted only with its controller.
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(rootView_);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window_->geometry();
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

SettingsWindowController::~SettingsWindowController() = default;

SettingsWindowFactory SettingsWindowController::factory(std::shared_ptr<OverlayPreferences> preferences,
                                                        std::shared_ptr<VisualizerModel> visualizerModel,
                                                        BrowserExtensionStatus extension, std::string notice) {
    return [preferences = std::move(preferences), visualizerModel = std::move(visualizerModel),
            extension = std::move(extension), notice = std::move(notice)](
               SettingsActions actions, bool launchAtLoginEnabled) -> std::shared_ptr<SettingsWindowPresenter> {
        auto view = std::make_unique<SettingsView>(preferences, visualizerModel, std::move(actions), launchAtLoginEnabled);
        view->showNotice(QString::fromStdString(notice));
        if (extension.secondsSinceLastReport) view->showBrowserExtensionStatus(extension);
        return std::make_shared<SettingsWindowController>(std::move(view));
    };
}

bool SettingsWindowController::hasWindow() const {
    return window_ != nullptr;
}

void SettingsWindowController::present() {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace sonavista
