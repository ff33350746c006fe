#include "base/FakeClock.h"
#include "bridge/BridgeProtocol.h"
#include "bridge/BrowserSessionTable.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace sonavista;

namespace {

const std::string report =
    "POST /playback HTTP/1.1\r\nHost: 127.0.0.1:43828\r\nOrigin: chrome-extension://abcdefghijklmnop\r\n"
    "X-Sonavista-Connector: 1\r\nContent-Type: application/json\r\nContent-Length: 61\r\n\r\n"
    R"({"source":"youtube","pageId":"1","playing":true,"volume":0.8})";

// One whole accepted report: parse, decide, store, and build the response bytes.
void BM_ParseProcessRespond(benchmark::State& state) {
    auto clock = std::make_shared<FakeClock>(1000.0);
    BrowserSessionTable table(clock);
    for (auto _ : state) {
        const auto request = BridgeProtocol::parseRequest(report);
        const auto response = BridgeProtocol::process(*request, table);
        benchmark::DoNotOptimize(BridgeProtocol::responseText(response.status, response.origin));
    }
}
BENCHMARK(BM_ParseProcessRespond);

// The worst single examination a connection can cause: a full buffer without a blank line.
void BM_ParseIncomplete64KiB(benchmark::State& state) {
    const std::string junk(65535, 'a');
    for (auto _ : state) benchmark::DoNotOptimize(BridgeProtocol::parseRequest(junk));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 65535);
}
BENCHMARK(BM_ParseIncomplete64KiB);

// A snapshot over a table of many live pages (one entry per reporting browser tab), taken from
// the summary the bridge publishes (the newest page of each player and playing state).
void BM_SnapshotOfPages(benchmark::State& state) {
    auto clock = std::make_shared<FakeClock>(1000.0);
    BrowserSessionTable table(clock);
    for (int i = 0; i < state.range(0); ++i) {
        table.store("page-" + std::to_string(i), i % 2 ? MusicPlayer::youtube : MusicPlayer::spotifyWeb, i % 3 == 0,
                    0.5);
    }
    const MusicPlayerSet enabled = {MusicPlayer::youtube, MusicPlayer::spotifyWeb};
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrowserSessionTable::bestSession(table.latestSessions(), enabled,
                                                                  clock->now() - table.sessionLifetime()));
    }
}
BENCHMARK(BM_SnapshotOfPages)->Arg(1)->Arg(16)->Arg(64);

// Storing one more report into a full table of distinct pages (each report a new page, so
// every one evicts the stalest) and publishing the summary, as the bridge does per report.
void BM_StoreNewPageIntoFullTable(benchmark::State& state) {
    auto clock = std::make_shared<FakeClock>(1000.0);
    BrowserSessionTable table(clock);
    const std::string prefix(200, 'p');
    std::uint64_t page = 0;
    for (auto _ : state) {
        clock->advance(1e-6);
        table.store(prefix + std::to_string(page++), MusicPlayer::youtube, true, 0.5);
        benchmark::DoNotOptimize(table.latestSessions());
    }
}
BENCHMARK(BM_StoreNewPageIntoFullTable);

}  // namespace
