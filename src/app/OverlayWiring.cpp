#include "app/OverlayWiring.h"

#include "app/TrayNotice.h"
#include "visualizer/OverlayWindowController.h"
#include "visualizer/WaylandLayerShellPanel.h"
#include "visualizer/WaylandSessionProbe.h"
#include "visualizer/X11OverlayWindow.h"

#include <QSystemTrayIcon>
#include <QtGlobal>

#include <X11/Xlib.h>

namespace sonavista {
namespace {

// Whether the X server named by DISPLAY accepts a connection (Qt's xcb platform aborts when not).
bool x11DisplayAnswers() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

std::string describeVariable(const char* variable, const char* server) {
    const QByteArray value = qgetenv(variable);
    if (value.isEmpty()) return std::string(variable) + " is not set";
    return std::string("no ") + server + " answered at " + variable + "=" + value.toStdString();
}

}  // namespace

PlatformChoice selectPlatform() {
    PlatformChoice::Session session;
    const auto probe = WaylandSessionProbe::probe();
    session.waylandDisplay = probe.connected;
    session.layerShell = probe.layerShell;
    session.x11Display = x11DisplayAnswers();
    session.requestedPlatform = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    return PlatformChoice::decide(session);
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

std::string missingDisplayMessage() {
    // Only what the platform Qt was asked for needs; with none asked, either would do.
    const std::string platform = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    std::string missing;
    if (platform.rfind("xcb", 0) != 0) missing = describeVariable("WAYLAND_DISPLAY", "Wayland compositor");
    if (platform.rfind("wayland", 0) != 0) {
        missing += (missing.empty() ? "" : "; ") + describeVariable("DISPLAY", "X server");
    }
    if (!platform.empty()) missing += "; QT_QPA_PLATFORM=" + platform;
    return "cannot start: there is no display to show windows on (" + missing +
           "). Start Sonavista inside a desktop session.";
}

std::vector<char*> argumentsWithQtPlatform(const PlatformChoice& choice, int argc, char** argv) {
    static std::string platformOption = "-platform", platformName;
    std::vector<char*> arguments(argv, argv + argc);
    if (choice.qtPlatform) {
        platformName = *choice.qtPlatform;
        arguments.insert(arguments.begin() + 1, {platformOption.data(), platformName.data()});
    }
    arguments.push_back(nullptr);
    return arguments;
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
