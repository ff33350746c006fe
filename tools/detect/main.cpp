// sonavista-detect: runs the playback monitor with the real sources (browser bridge, MPRIS
// players on the session bus, running processes, the sound server's volume) and prints every
// published snapshot as one JSON line, so a user can see why the overlay does or does not show.
// SIGINT or SIGTERM stops it cleanly with exit status 0; a bad argument gives status 2.

#include "DetectOptions.h"

#include "base/QtMainQueue.h"
#include "bridge/BrowserPlaybackBridge.h"
#include "playback/PlaybackDetection.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    char byte = 1;
    // Nothing else is async-signal-safe here; the main loop does the stopping.
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

bool installSignalHandlers() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sonavista;

    std::vector<std::string> arguments(argv + 1, argv + argc);
    DetectOptions options;
    std::string error;
    if (!DetectOptions::parse(arguments, options, error)) {
        std::fprintf(stderr, "sonavista-detect: %s\n%s", error.c_str(), DetectOptions::usage().c_str());
        return 2;
    }
    if (options.showHelp) {
        std::fputs(DetectOptions::usage().c_str(), stdout);
        return 0;
    }
    if (!installSignalHandlers()) {
        std::perror("sonavista-detect: signal handlers");
        return 1;
    }

    // Only our own arguments were given; Qt gets none of them.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    QtMainQueue mainQueue;

    std::shared_ptr<BrowserPlaybackBridge> bridge;
    if (options.useBridge) {
        BrowserPlaybackBridge::Options bridgeOptions;
        bridgeOptions.port = options.bridgePort;
        bridge = std::make_shared<BrowserPlaybackBridge>(bridgeOptions);
        bridge->start();
    }

    PlaybackDetection::Options detectionOptions;
    detectionOptions.browser = bridge;
    detectionOptions.enabledPlayers = [enabled = options.enabled] { return enabled; };
    if (options.enabledOtherPlayers) {
        detectionOptions.otherPlayerEnabled = [others = *options.enabledOtherPlayers](std::string_view stem) {
            return others.contains(std::string(stem));
        };
    }
    detectionOptions.snapshotDidChange = [](const MusicPlaybackSnapshot& snapshot) {
        std::fputs((snapshotJsonLine(snapshot) + "\n").c_str(), stdout);
        std::fflush(stdout);
    };
    detectionOptions.soundClientName = "sonavista-detect";
    PlaybackDetection detection(mainQueue, std::move(detectionOptions));
    if (!detection.registry()) {
        std::fputs("sonavista-detect: no session bus; detecting from running processes only\n", stderr);
    }
    auto monitor = detection.monitor();

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        monitor->stop();
        if (bridge) {
            bridge->stop();
        }
        app.quit();
    });

    mainQueue.post([monitor] { monitor->start(); });
    app.exec();

    return 0;
}
