// Linked into every test program: exposes the source and build trees to tests as
// SONAVISTA_SOURCE_DIR / SONAVISTA_BINARY_DIR, whether they run under CTest or by hand.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        setenv("SONAVISTA_SOURCE_DIR", SONAVISTA_TEST_SOURCE_DIR, 0);
        setenv("SONAVISTA_BINARY_DIR", SONAVISTA_TEST_BINARY_DIR, 0);
    }
};

const TestEnvironment environment;

}  // namespace
