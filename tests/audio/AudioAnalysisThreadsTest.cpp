#include "audio/AudioFrameAnalyzer.h"
#include "base/FakeClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace sonavista {
namespace {

// The capture thread handles buffers while another thread resets, as stopping does; a hook
// may reset from inside the handler without deadlocking.
TEST(AnalyzerConcurrencyTest, ResetAndHandleAreExclusive) {
    FakeClock clock(1.0);
    std::atomic<int> published{0};
    std::shared_ptr<AudioFrameAnalyzer> analyzer;
    analyzer = std::make_shared<AudioFrameAnalyzer>(
        clock, AudioFrameAnalyzer::Hooks{[&](const AudioVisualizationFrame&) { ++published; },
                                         [&](AudioCaptureFailure) { analyzer->reset(); }});
    analyzer->beginCapture();

    std::atomic<bool> done{false};
    std::thread capture([&] {
        // Sound, then silence long enough to make the failure hook reset from this thread.
        std::vector<float> block(960, 0.25f);
        for (int i = 0; i < 3600; ++i) {
            if (i < 3000) block[i % 960] = static_cast<float>(i % 7) * 0.01f;
            if (i == 3000) std::fill(block.begin(), block.end(), 0.0f);
            clock.advance(0.01);
            analyzer->handle(AudioSampleBuffer::interleavedFloat(block.data(), block.size(), 2), true);
        }
        done = true;
    });
    int resets = 0;
    for (; !done; ++resets) {
        analyzer->reset();
        ASSERT_LE(analyzer->state().accumulatedSampleCount, 1024u);
        std::this_thread::yield();
    }
    capture.join();
    EXPECT_GT(published.load(), 0);
    EXPECT_GT(resets, 0);
}

}  // namespace
}  // namespace sonavista
