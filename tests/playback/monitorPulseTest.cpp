#include "playback/PulseOutputVolume.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sonavista
