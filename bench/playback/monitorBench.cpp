#include "playback/MusicPlaybackMonitor.h"
#include "playback/ProcRunningApplications.h"

#include "base/ManualMainQueue.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace sonavista {
namespace {

// One scan of the real /proc as a monitor pass makes it: sandbox ids already remembered.
void BM_ProcScanWarm(benchmark::State& state) {
    ProcRunningApplications applications;
    std::size_t count = applications.runningApplications().size();
    for (auto _ : state) {
        auto list = applications.runningApplications();
        benchmark::DoNotOptimize(list.data());
    }
    state.counters["processes"] = static_cast<double>(count);
}
BENCHMARK(BM_ProcScanWarm)->Unit(benchmark::kMicrosecond);

// The first scan of a new adapter: every process's sandbox files are read.
void BM_ProcScanCold(benchmark::State& state) {
    for (auto _ : state) {
        ProcRunningApplications applications;
        auto list = applications.runningApplications();
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(BM_ProcScanCold)->Unit(benchmark::kMicrosecond);

// A whole monitor pass without a now-playing service: /proc scan, resolution, ranking.
void BM_MonitorPassFromProc(benchmark::State& state) {
    ManualMainQueue queue;
    auto applications = std::make_shared<ProcRunningApplications>();
    MusicPlayerSet all(allMusicPlayers.begin(), allMusicPlayers.end());
    auto monitor = MusicPlaybackMonitor::create(
        queue, [all] { return all; }, {nullptr, nullptr, std::make_shared<PlayerStateQueries>(nullptr, nullptr), applications},
        [](const MusicPlaybackSnapshot&) {});
    for (auto _ : state) {
        monitor->checkPlaybackState();
    }
}
BENCHMARK(BM_MonitorPassFromProc)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sonavista
