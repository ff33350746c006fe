// Shows the overlay with a fixed synthetic model, for the window-system integration tests. Reads
// commands on stdin, one per line, and as arguments ("--mode compact"): "mode compact|fullscreenFog",
// "position top|center|bottom", "avoid on|off", "show", "hide", "settings" (shows an ordinary
// window of the application, as the settings window is), "quit" (also on end of input). Prints
// "frame X Y W H WINDOW COMPOSITOR" after each change (COMPOSITOR 0 while the band says that
// none runs) and "settings WINDOW" once it is shown.
#include "preferences/MemorySettingsStore.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayWindowController.h"
#include "visualizer/QtScreenArrangement.h"
#include "visualizer/VisualizerModel.h"
#include "visualizer/VisualizerView.h"
#include "visualizer/X11OverlayWindow.h"

#include <QApplication>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

using namespace sonavista;

namespace {

bool applySetting(OverlayPreferences& preferences, const std::string& key, const std::string& value) {
    if (const auto mode = overlayDisplayModeFromRawValue(value); key == "mode" && mode) {
        preferences.setDisplayMode(*mode);
    } else if (const auto position = overlayPositionFromRawValue(value); key == "position" && position) {
        preferences.setPosition(*position);
    } else if (key == "avoid" && (value == "on" || value == "off")) {
        preferences.setAvoidsCoveringWindows(value == "on");
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto preferences = OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    // A loud frame with a falling spectrum, so tall bars show in every mode.
    auto model = std::make_shared<VisualizerModel>();
    AudioVisualizationFrame frame{0.85, 1.2, 0.4, {}};
    for (int band = 0; band < 96; ++band) frame.spectrum.push_back(0.95 - band / 190.0 + 0.05 * std::sin(band * 0.7));
    model->updateLiveFrame(frame);

    auto window = std::make_shared<X11OverlayWindow>(preferences, model);
    auto controller = OverlayWindowController::create(preferences, window, std::make_shared<QtScreenArrangement>());
    QWidget settings;
    settings.setWindowTitle(QStringLiteral("Sonavista Settings"));
    settings.setGeometry(700, 720, 500, 300);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Reported once the window system has settled.
    const auto reportFrame = [&] {
        QTimer::singleShot(0, [&] {
            const QRect g = window->geometry();
            std::printf("frame %d %d %d %d %lu %d\n", g.x(), g.y(), g.width(), g.height(), window->x11Window(),
                        window->view()->compositorMissing() ? 0 : 1);
        });
    };
    const auto runCommand = [&](const std::string& line) {
        const auto space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (command == "quit") {
            QApplication::quit();
        } else if (command == "settings") {
            settings.show();
            settings.activateWindow();
            std::printf("settings %llu\n", static_cast<unsigned long long>(settings.winId()));
        } else if (command == "show" || command == "hide") {
            command == "show" ? controller->showOverlay() : controller->hidePanel();
            reportFrame();
        } else if (!applySetting(*preferences, command, value)) {
            std::printf("error %s\n", line.c_str());
        } else {
            if (command != "position") controller->applyWindowLevel();
            controller->reposition();
            reportFrame();
        }
    };
    for (int i = 1; i + 1 < argc; i += 2) runCommand(std::string(argv[i]).substr(2) + " " + argv[i + 1]);
    runCommand("show");
    // Standard input is read on a thread of its own; each line runs on the main thread.
    std::thread([&] {
        for (std::string line; std::getline(std::cin, line);) {
            QMetaObject::invokeMethod(&app, [&runCommand, line] { runCommand(line); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    }).detach();
    // Ends without tearing down, so the reader thread never outlives what it posts to.
    std::_Exit(app.exec());
}
