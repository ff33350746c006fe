#include "app/OverlayWiring.h"

#include "app/TrayNotice.h"
#include "visualizer/OverlayWindowController.h"
#include "visualizer/WaylandLayerShellPanel.h"
#include "visualizer/WaylandSessionProbe.h"
#include "visualizer/X11OverlayWindow.h"

#include <QSystemTrayIcon>
#include <QtGlobal>

namespace sonavista {

PlatformChoice selectPlatform() {
    PlatformChoice::Session session;
    const auto probe = WaylandSessionProbe::probe();
    session.waylandDisplay = probe.connected;
    session.layerShell = probe.layerShell;
    session.x11Display = !qEnvironmentVariableIsEmpty("DISPLAY");
    session.requestedPlatform = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    auto choice = PlatformChoice::decide(session);
    if (choice.qtPlatform) {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*choice.qtPlatform));
    }
    return choice;
}

std::shared_ptr<OverlayPresenter> makeOverlay(const PlatformChoice& choice,
                                              std::shared_ptr<OverlayPreferences> preferences,
                                              std::shared_ptr<VisualizerModel> model,
                                              std::shared_ptr<QtScreenArrangement> screens,
                                              std::function<void()> connectionLost) {
    std::shared_ptr<OverlayPanel> panel;
    switch (choice.overlay) {
        case PlatformChoice::OverlayRoute::layerShell:
            if (auto layerShell = WaylandLayerShellPanel::connect(preferences, std::move(model))) {
                // The compositor picks the output; the frame follows its pick.
                const std::weak_ptr<QtScreenArrangement> weakScreens = screens;
                layerShell->setOutputHandler([weakScreens](const PixelRect& output) {
                    if (auto current = weakScreens.lock()) current->setWorkingOutput(output);
                });
                layerShell->setConnectionLostHandler(std::move(connectionLost));
                panel = std::move(layerShell);
            }
            break;
        case PlatformChoice::OverlayRoute::x11Window: {
            auto window = std::make_shared<X11OverlayWindow>(preferences, std::move(model));
            if (choice.belowWindowsOnly) window->keepBelowWindows();
            panel = std::move(window);
            break;
        }
        case PlatformChoice::OverlayRoute::none:
            break;
    }
    if (!panel) {
        return nullptr;
    }
    return OverlayWindowController::create(std::move(preferences), std::move(panel), std::move(screens));
}

std::string launchNotice(const PlatformChoice& choice) {
    std::string notice = choice.unavailableReason + choice.limitation;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!notice.empty()) notice += '\n';
        notice += TrayNotice::whenMissing(qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString());
    }
    return notice;
}

}  // namespace sonavista
