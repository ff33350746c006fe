// The `sonavista` executable: builds the platform adapters, hands them to the application
// policy in the launch order, and runs the Qt event loop until the user quits from the menu or
// the process receives SIGINT or SIGTERM.

#include "app/AppDelegate.h"
#include "app/OverlayWiring.h"
#include "app/QtAlertPresenter.h"
#include "app/QtBrowserExtensionSetup.h"
#include "app/QtSoundSettingsOpener.h"
#include "app/QtStatusMenu.h"
#include "app/SingleInstance.h"
#include "app/XdgAutostartLoginItem.h"
#include "audio/ProcProcessTree.h"
#include "audio/PulseAudioCapture.h"
#include "audio/PipeWireOutputLatency.h"
#include "audio/PulsePlayerCapture.h"
#include "audio/SystemAudioLevelMonitor.h"
#include "base/QtMainQueue.h"
#include "base/SteadyClock.h"
#include "bridge/BrowserPlaybackBridge.h"
#include "playback/MprisPlayerIdentity.h"
#include "playback/PlaybackDetection.h"
#include "preferences/OverlayPreferences.h"
#include "preferences/IniSettingsStore.h"
#include "settings/SettingsWindowController.h"
#include "visualizer/QtScreenArrangement.h"
#include "visualizer/VisualizerModel.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace sonavista;

namespace {

// Set at the first launch; the settings are otherwise the preferences' alone.
constexpr const char* launchedBeforeKey = "launchedBefore";

int signalPipe[2] = {-1, -1};

void forwardSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop like "Quit Sonavista" does, so the termination order
// runs and the process exits with status 0.
void quitOnTerminationSignals(QApplication& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [&application] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        application.quit();
    });
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

std::filesystem::path executablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path("sonavista") : path;
}

}  // namespace

int main(int argc, char** argv) {
    // --help needs no display, so it is answered before Qt starts.
    if (std::any_of(argv + 1, argv + argc, [](const char* a) { return !std::strcmp(a, "--help") || !std::strcmp(a, "-h"); })) {
        std::printf("Usage: sonavista [--autostart]\n"
                    "Draws a live waveform of the playing music over the desktop; settings live in the tray\n"
                    "menu and the settings window.\n\n"
                    "  --autostart  start quietly into the tray (used by the login entry)\n"
                    "  --help       show this help\n");
        return 0;
    }
    // Refuses an argument that is neither ours nor Qt's. Double-dash options are ours and are
    // checked before Qt starts (no display needed); Qt takes its own single-dash options
    // (-platform, -display, ...) out of argv, so whatever is left after it is refused too.
    const auto refuseUnknown = [&](bool doubleDashOnly) {
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], XdgAutostartLoginItem::autostartArgument) == 0) continue;
            if (doubleDashOnly && std::strncmp(argv[i], "--", 2) != 0) continue;
            std::fprintf(stderr, "sonavista: unknown argument \"%s\" (see sonavista --help)\n", argv[i]);
            return true;
        }
        return false;
    };
    if (refuseUnknown(true)) return 2;
    const PlatformChoice platformChoice = selectPlatform();  // before Qt picks its platform
    if (platformChoice.noDisplay) {
        std::fprintf(stderr, "sonavista: %s\n", missingDisplayMessage().c_str());
        return 1;
    }
    std::vector<char*> qtArguments = argumentsWithQtPlatform(platformChoice, argc, argv);
    int qtArgumentCount = static_cast<int>(qtArguments.size()) - 1;
    QApplication application(qtArgumentCount, qtArguments.data());
    argc = qtArgumentCount;  // Qt took its own options (the -platform above among them) out
    argv = qtArguments.data();
    if (refuseUnknown(false)) return 2;
    QApplication::setApplicationName(QStringLiteral("Sonavista"));
    QApplication::setApplicationVersion(QStringLiteral(SONAVISTA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("sonavista"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/sonavista/app.svg")));
    // Closing the settings window only hides it; the application lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    // Started by the session's autostart entry: into the tray without a window, unless this is
    // the very first launch (the user has yet to find the application).
    const bool autostarted = std::any_of(argv + 1, argv + argc, [](const char* argument) {
        return std::strcmp(argument, XdgAutostartLoginItem::autostartArgument) == 0;
    });

    // A second launch shows the running instance's settings window and ends here.
    SingleInstance singleInstance(SingleInstance::defaultSocketPath());
    std::weak_ptr<AppDelegate> reopenTarget;
    switch (singleInstance.claim(
        [&reopenTarget] {
            if (auto delegate = reopenTarget.lock()) delegate->applicationShouldHandleReopen();
        },
        autostarted)) {
        case SingleInstance::Outcome::notifiedRunning:
            return 0;
        case SingleInstance::Outcome::runningSilent:
            std::fprintf(stderr, "sonavista: Sonavista is already running but did not answer; not starting a "
                                 "second copy.\n");
            return 1;
        case SingleInstance::Outcome::primary:
        case SingleInstance::Outcome::failed:
            break;
    }
    quitOnTerminationSignals(application);

    QtMainQueue mainQueue;
    auto steadyClock = std::make_shared<SteadyClock>();

    // Created in this order before launch: preferences, visualizer model, browser bridge.
    auto settingsStore = IniSettingsStore::openDefault();
    const bool launchedBefore = settingsStore->boolValue(launchedBeforeKey);
    settingsStore->setBool(launchedBeforeKey, true);
    auto preferences = OverlayPreferences::create(settingsStore);
    auto visualizerModel = std::make_shared<VisualizerModel>();
    auto bridge = std::make_shared<BrowserPlaybackBridge>();

    auto screens = std::make_shared<QtScreenArrangement>();
    // The whole output's monitor, and the playing player's own streams where they can be found.
    // The output's latency from PipeWire's own interface where PipeWire serves the sound.
    auto captureBackend = std::make_shared<PulsePlayerCapture>(std::make_shared<PulseAudioCapture>(),
                                                               std::make_shared<ProcProcessTree>(),
                                                               std::make_shared<PipeWireOutputLatency>());
    const auto configHome = XdgAutostartLoginItem::configHomeFromEnvironment();

    AppDelegate::Platform platform;
    auto alerts = std::make_shared<QtAlertPresenter>();
    // Said once, after the Wayland event that reported it has been handled.
    auto overlayConnectionLost = [alerts] {
        QTimer::singleShot(0, qApp, [alerts] {
            alerts->showWarning("The overlay lost its connection to the Wayland compositor.",
                                "The waveform cannot be shown until Sonavista is started again.");
        });
    };
    platform.makeOverlay = [&] {
        return makeOverlay(platformChoice, preferences, visualizerModel, screens, overlayConnectionLost);
    };
    BrowserExtensionStatus extensionStatus;
    extensionStatus.secondsSinceLastReport = [bridge] { return bridge->secondsSinceExtensionReport(); };
    extensionStatus.portHeldElsewhere = [bridge]() -> std::optional<unsigned> {
        if (auto port = bridge->portHeldElsewhere()) return *port;
        return std::nullopt;
    };
    extensionStatus.openSetup = &QtBrowserExtensionSetup::open;
    // The notice is also written to standard error, for whoever starts Sonavista from a terminal.
    std::string notice = launchNotice(platformChoice);
    if (!notice.empty()) std::fprintf(stderr, "sonavista: %s\n", notice.c_str());
    platform.makeSettingsWindow = SettingsWindowController::factory(preferences, visualizerModel,
                                                                    std::move(extensionStatus), std::move(notice));
    platform.makeStatusMenu = [](StatusMenuActionHandler handler) {
        return std::make_shared<QtStatusMenu>(std::move(handler));
    };
    platform.makePlaybackMonitor = [&](EnabledPlayersProvider enabledPlayers, SnapshotCallback snapshotDidChange) {
        const std::weak_ptr<OverlayPreferences> weakPreferences = preferences;
        PlaybackDetection::Options options;
        options.browser = bridge;
        options.enabledPlayers = std::move(enabledPlayers);
        options.otherPlayerEnabled = [weakPreferences](std::string_view stem) {
            auto current = weakPreferences.lock();
            return current ? current->isOtherPlayerEnabled(stem) : isOtherPlayerEnabledByDefault(stem);
        };
        options.otherPlayerSeen = [weakPreferences](const PlaybackDetection::OtherPlayerSighting& sighting) {
            if (auto current = weakPreferences.lock()) {
                current->rememberOtherPlayer(sighting.stem, sighting.name, sighting.desktopEntry);
            }
        };
        options.snapshotDidChange = std::move(snapshotDidChange);
        auto detection = std::make_shared<PlaybackDetection>(mainQueue, std::move(options));
        // The monitor handed out keeps the whole wiring alive.
        return std::shared_ptr<PlaybackMonitorControl>(detection, detection->monitor().get());
    };
    platform.makeAudioMonitor = [&](AudioFrameCallback frameDidChange, AudioFailureCallback captureDidFail) {
        // While the overlay draws, its frame ticks take the newest analysed frame.
        return SystemAudioLevelMonitor::create(std::move(frameDidChange), std::move(captureDidFail), mainQueue,
                                               captureBackend, steadyClock,
                                               std::shared_ptr<FrameTicks>(visualizerModel, &visualizerModel->frameTicks()));
    };
    if (configHome) platform.loginItem = std::make_shared<XdgAutostartLoginItem>(*configHome, executablePath());
    platform.workspaceOpener = std::make_shared<QtSoundSettingsOpener>();
    platform.alerts = alerts;
    platform.requestQuit = [] { QApplication::quit(); };

    auto delegate = AppDelegate::create(mainQueue, preferences, visualizerModel, bridge, std::move(platform));
    reopenTarget = delegate;
    // A settings file that was not read whole is said in the settings window, so even a launch at
    // login presents it then.
    delegate->launch(autostarted && launchedBefore && !settingsStore->loadNotice());

    QApplication::exec();

    delegate->applicationWillTerminate();
    // Every setting was written when it was assigned; nothing is left to save.
    return 0;
}
