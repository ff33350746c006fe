#include "LiveCaptureAnalysis.h"

#include "FrameJsonWriter.h"
#include "ToolMainQueue.h"
#include "audio/PulseAudioCapture.h"
#include "audio/SystemAudioLevelMonitor.h"
#include "base/SteadyClock.h"

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <thread>

namespace sonavista {

namespace {

constexpr int exitFailure = 3;

int usageError(const std::string& message) {
    std::fprintf(stderr, "sonavista-analyze: %s (try --help)\n", message.c_str());
    return 2;
}

}  // namespace

bool LiveCaptureAnalysis::isRequested(int argc, const char* const* argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--") return false;
        if (std::string_view(argv[i]) == "--capture") return true;
    }
    return false;
}

int LiveCaptureAnalysis::run(int argc, const char* const* argv) {
    std::optional<double> seconds;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--capture") continue;
        if (argument == "--seconds" && i + 1 < argc) {
            const std::string_view text = argv[++i];
            double value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0) {
                return usageError("--seconds must be a positive number of seconds, not '" + std::string(text) + "'");
            }
            seconds = value;
        } else {
            return usageError("with --capture only --seconds S may be given, not '" + std::string(argument) + "'");
        }
    }

    // SIGINT and SIGTERM are taken by a waiting thread rather than a handler, so that
    // stopping runs as ordinary code on the main thread. Blocked before any thread starts,
    // so every thread (the capture's included) inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Never destroyed: the signal thread is never joined, and the capture thread may still be
    // returning from a post (of a failure the main thread has already acted on) while the
    // process exits.
    static ToolMainQueue& mainQueue = *new ToolMainQueue;
    std::thread([stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        mainQueue.quit();
    }).detach();

    const auto clock = std::make_shared<SteadyClock>();
    const double start = clock->now();
    FrameJsonWriter writer(stdout);
    int status = 0;
    auto monitor = SystemAudioLevelMonitor::create(
        [&](const AudioVisualizationFrame& frame) {
            writer.writeFrame(clock->now() - start, frame);
            std::fflush(stdout);
        },
        [&](AudioCaptureFailure failure) {
            writer.writeFailure(clock->now() - start, failure);
            status = exitFailure;
            mainQueue.quit();
        },
        mainQueue,
        std::make_shared<PulseAudioCapture>([](const std::string& server, const std::string& source) {
            std::fprintf(stderr, "sonavista-analyze: recording %s on %s\n", source.c_str(), server.c_str());
        }),
        clock);
    monitor->start();
    mainQueue.runUntil(seconds ? std::optional<double>(start + *seconds) : std::nullopt);
    monitor->stop();
    monitor.reset();
    if (!writer.finish()) {
        std::fprintf(stderr, "sonavista-analyze: cannot write the output\n");
        return 1;
    }
    return status;
}

}  // namespace sonavista
