#include "playback/PulseOutputVolume.h"
#include "support/ScopedEnvironment.h"

#if defined(__SANITIZE_THREAD__)
#include "integration/PrivatePulseServer.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <optional>
#include <thread>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace sonavista {
namespace {

// Without a reachable server the volume reads 1.0 at once and the adapter tears down cleanly,
// whether it is destroyed right away or while its retry is pending.
TEST(PulseOutputVolumeTest, UnreachableServerReadsFullVolume) {
    testing::ScopedEnvironment environment;
    environment.set("PULSE_SERVER", "unix:/nonexistent/sonavista-test/native");
    for (int round = 0; round < 5; ++round) {
        auto volume = std::make_unique<PulseOutputVolume>("sonavista-test");
        EXPECT_EQ(volume->systemOutputVolume(), 1.0);
        EXPECT_FALSE(volume->isConnected());
    }
}

#if defined(__SANITIZE_THREAD__)
// The suppression file hides libpulse's own hand-over only: libpulse calls of ours made without
// the loop's lock must still be reported. The child, a fresh process that reads TSAN_OPTIONS,
// uses the parent's server (never one of its own that it could leak).
TEST(PulseOutputVolumeTest, UnlockedLibpulseCallsAreReportedDespiteTheSuppressions) {
    std::optional<testing::PrivatePulseServer> server;
    if (!std::getenv("SONAVISTA_PROBE_SERVER")) {
        server.emplace();
        server->useFromThisProcess();
        ::setenv("SONAVISTA_PROBE_SERVER", "1", 1);
        ::setenv("TSAN_OPTIONS", "halt_on_error=1 exitcode=66 suppressions=" SONAVISTA_TSAN_SUPPRESSIONS, 1);
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
            pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop), "sonavista-test");
            pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
            pa_threaded_mainloop_start(loop);
            for (int i = 0; i < 400 && pa_context_get_state(context) != PA_CONTEXT_READY; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const auto ignore = [](pa_context*, const pa_server_info*, void*) {};
            for (int i = 0; i < 400; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
                if (pa_operation* operation = pa_context_get_server_info(context, ignore, nullptr)) pa_operation_unref(operation);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(66), "data race");
}
#endif

}  // namespace
}  // namespace sonavista
