#include "audio/SampleAccumulator.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace sonavista {
namespace {

std::vector<float> contents(const SampleAccumulator& accumulator) {
    std::vector<float> out(accumulator.size());
    accumulator.copyTo(out);
    return out;
}

std::vector<float> range(int from, int count) {
    std::vector<float> values(count);
    std::iota(values.begin(), values.end(), static_cast<float>(from));
    return values;
}

// Whatever the block sizes, the accumulator holds the newest 1024 samples, oldest first; once
// cleared it fills from scratch.
TEST(SampleAccumulatorTest, KeepsNewestSamplesInOrderAcrossBlockSizes) {
    for (int blockSize : {1, 7, 480, 1023, 1024, 1500, 5000}) {
        SampleAccumulator accumulator;
        std::vector<float> all;
        int next = 0;
        for (int block = 0; block < 6; ++block) {
            const auto values = range(next, blockSize);
            next += blockSize;
            accumulator.append(values);
            all.insert(all.end(), values.begin(), values.end());
            const std::size_t kept = std::min<std::size_t>(all.size(), 1024);
            ASSERT_EQ(accumulator.size(), kept) << blockSize;
            EXPECT_EQ(contents(accumulator), std::vector<float>(all.end() - kept, all.end())) << blockSize;
        }
        accumulator.clear();
        EXPECT_EQ(accumulator.size(), 0u);
        accumulator.append(range(-3, 3));
        EXPECT_EQ(contents(accumulator), (std::vector<float>{-3, -2, -1})) << blockSize;
    }
}

}  // namespace
}  // namespace sonavista
