// Shows the overlay with given preferences and a fixed synthetic model, for the window-system
// integration tests. Prints one line per event on stdout:
//   frame X Y W H WINDOW COMPOSITOR   after every show or layout command
//   settings WINDOW                    once the stand-in settings window is shown
// and reads commands on stdin, one per line: "mode compact|fullscreenFog",
// "position top|center|bottom", "avoid on|off", "show", "hide", "settings" (shows an ordinary
// window of the same application, as the settings window is), "quit" (also on end of input).
#include "preferences/MemorySettingsStore.h"
#include "preferences/OverlayPreferences.h"
#include "visualizer/OverlayWindowController.h"
#include "visualizer/QtScreenArrangement.h"
#include "visualizer/VisualizerModel.h"
#include "visualizer/X11OverlayWindow.h"

#include <QApplication>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

using namespace sonavista;

namespace {

bool applySetting(OverlayPreferences& preferences, const std::string& key, const std::string& value) {
    if (key == "mode") {
        const auto mode = overlayDisplayModeFromRawValue(value);
        if (mode) preferences.setDisplayMode(*mode);
        return mode.has_value();
    }
    if (key == "position") {
        const auto position = overlayPositionFromRawValue(value);
        if (position) preferences.setPosition(*position);
        return position.has_value();
    }
    if (key == "avoid" && (value == "on" || value == "off")) {
        preferences.setAvoidsCoveringWindows(value == "on");
        return true;
    }
    return false;
}

void report(const X11OverlayWindow& window) {
    const QRect g = window.geometry();
    std::printf("frame %d %d %d %d %llu %d\n", g.x(), g.y(), g.width(), g.height(),
                static_cast<unsigned long long>(window.x11Window()), window.hasCompositor() ? 1 : 0);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto preferences = OverlayPreferences::create(std::make_shared<MemorySettingsStore>());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key.rfind("--", 0) != 0 || !applySetting(*preferences, key.substr(2), argv[i + 1])) {
            std::fprintf(stderr, "bad argument %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
    }

    // A loud frame with a falling spectrum, so tall bars show in every mode.
    auto model = std::make_shared<VisualizerModel>();
    AudioVisualizationFrame frame{0.85, 1.2, 0.4, {}};
    for (int band = 0; band < 96; ++band) {
        frame.spectrum.push_back(0.95 - 0.5 * band / 95.0 + 0.05 * std::sin(band * 0.7));
    }
    model->updateLiveFrame(frame);

    auto window = std::make_shared<X11OverlayWindow>(preferences, model);
    auto screens = std::make_shared<QtScreenArrangement>();
    auto controller = OverlayWindowController::create(preferences, window, screens);
    controller->showOverlay();
    QTimer::singleShot(0, [&] { report(*window); });

    QWidget settings;
    settings.setWindowTitle(QStringLiteral("Sonavista Settings"));
    settings.setGeometry(700, 720, 500, 300);

    const auto runCommand = [&](const std::string& line) {
        const auto space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (command == "quit") {
            QApplication::quit();
            return;
        }
        if (command == "settings") {
            settings.show();
            settings.activateWindow();
            std::printf("settings %llu\n", static_cast<unsigned long long>(settings.winId()));
            std::fflush(stdout);
            return;
        }
        if (command == "show") {
            controller->showOverlay();
        } else if (command == "hide") {
            controller->hidePanel();
        } else if (!applySetting(*preferences, command, value)) {
            std::printf("error %s\n", line.c_str());
            std::fflush(stdout);
            return;
        } else if (command == "position") {
            controller->reposition();
        } else {
            controller->applyWindowLevel();
            controller->reposition();
        }
        // Let the window system settle before reporting.
        QTimer::singleShot(0, [&] { report(*window); });
    };
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
