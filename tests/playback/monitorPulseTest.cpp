#include "playback/PulseOutputVolume.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

namespace sonavista {
namespace {

// A server that cannot be reached fails the connection inside the connect call itself, a path
// a server that goes away later never takes; the volume reads 1.0 and teardown is clean.
TEST(PulseOutputVolumeTest, UnreachableServerReadsFullVolume) {
    testing::ScopedEnvironment environment;
    environment.set("PULSE_SERVER", "unix:/nonexistent/sonavista-test/native");
    PulseOutputVolume volume("sonavista-test");
    EXPECT_EQ(volume.systemOutputVolume(), 1.0);
    EXPECT_FALSE(volume.isConnected());
}

}  // namespace
}  // namespace sonavista
