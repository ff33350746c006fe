#include "base/FakeClock.h"
#include "bridge/BridgeProtocol.h"
#include "bridge/BridgeTestClient.h"
#include "bridge/BrowserSessionTable.h"
#include "bridge/PlaybackMessage.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace sonavista;
using test::playbackPost;

namespace {

using P = MusicPlayer;
const std::string extension = "chrome-extension://abcdefghijklmnop";
const std::string validBody = R"({"source":"youtube","pageId":"1","playing":true,"volume":0.8})";

std::string noCors(const std::string& status) {
    return "HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
}

std::string withCors(const std::string& status, const std::string& origin) {
    return "HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Length: 0\r\n" +
           "Access-Control-Allow-Origin: " + origin + "\r\n" + "Access-Control-Allow-Methods: POST, OPTIONS\r\n" +
           "Access-Control-Allow-Headers: Content-Type, X-Sonavista-Connector\r\n" + "Vary: Origin\r\n\r\n";
}

const MusicPlayerSet allWeb = {P::spotifyWeb, P::youtube, P::qqMusicWeb};

MusicPlaybackSnapshot playing(P player, double volume) { return {player, MusicPlaybackState::playing, volume}; }
MusicPlaybackSnapshot paused(P player, double volume) { return {player, MusicPlaybackState::paused, volume}; }

// Clock time, page id, player, playing, volume.
using Report = std::tuple<double, std::string, MusicPlayer, bool, double>;

}  // namespace

TEST(BridgeProtocolParse, CutsRequestsOutOfTheReceivedBytes) {
    // Each case: its name, the bytes received and the body of the request cut out of them
    // (nothing: no request, incomplete or malformed).
    const std::tuple<const char*, std::string, std::optional<std::string>> cases[] = {
        {"no terminator", "POST /playback HTTP/1.1\r\nContent-Length: 0\r\n", std::nullopt},
        {"bare LF line breaks", "POST /playback HTTP/1.1\nContent-Length: 0\n\n", std::nullopt},
        {"bare LF inside a header", "POST / HTTP/1.1\r\nOrigin: chrome-extension://a\nSet-Cookie: x=1\r\n\r\n",
         std::nullopt},
        {"bare CR inside a header", "POST / HTTP/1.1\r\nOrigin: chrome-extension://a\rSet-Cookie: x=1\r\n\r\n",
         std::nullopt},
        {"no content length", "POST /playback HTTP/1.1\r\n\r\nignored", ""},
        {"body cut to length", "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcdef", "abc"},
        {"body incomplete", "POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nabc", std::nullopt},
        {"length trimmed of spaces and tabs", "POST / HTTP/1.1\r\nContent-Length: \t 2 \t\r\n\r\nabc", "ab"},
        {"length between Unicode spaces", "POST / HTTP/1.1\r\nContent-Length: \xE2\x80\x83" "2\xC2\xA0\r\n\r\nabc",
         std::nullopt},
        {"length negative", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\nabc", std::nullopt},
        {"length with a sign", "POST / HTTP/1.1\r\nContent-Length: +2\r\n\r\nabc", std::nullopt},
        {"length with letters after the digits", "POST / HTTP/1.1\r\nContent-Length: 2x\r\n\r\nabc", std::nullopt},
        {"length beyond 64 bits", "POST / HTTP/1.1\r\nContent-Length: 18446744073709551616\r\n\r\n", std::nullopt},
        {"length 64-bit maximum never completes", "POST / HTTP/1.1\r\nContent-Length: 18446744073709551615\r\n\r\nabc",
         std::nullopt},
        {"length header name in any case", "POST / HTTP/1.1\r\ncOnTeNt-LeNgTh: 1\r\n\r\nabc", "a"},
        {"last length wins", "POST / HTTP/1.1\r\nContent-Length: 1\r\ncontent-length: 2\r\n\r\nabc", "ab"},
        {"one-word request line", "POST\r\nContent-Length: 0\r\n\r\n", std::nullopt},
        {"invalid UTF-8 in head", "POST / HTTP/1.1\r\nX: \xFF\r\n\r\n", std::nullopt},
        {"truncated UTF-8 in head", "POST / HTTP/1.1\r\nX: \xE2\x82\r\n\r\n", std::nullopt},
        {"valid UTF-8 in head", "POST / HTTP/1.1\r\nX: \xE2\x82\xAC \xF0\x9F\x8E\xB5\r\n\r\n", ""},
        {"invalid UTF-8 in body is fine", "POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xFF", "\xFF"},
    };
    for (const auto& [name, bytes, body] : cases) {
        const auto request = BridgeProtocol::parseRequest(bytes);
        EXPECT_EQ(request ? std::optional(request->body) : std::nullopt, body) << name;
        // The receiver's way agrees: a request is whole once its header block and body are there.
        const auto end = bytes.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        const auto head = BridgeProtocol::parseHead(std::string_view(bytes).substr(0, end + 4));
        EXPECT_EQ(request.has_value(), head && bytes.size() - end - 4 >= head->bodyLength) << name;
    }
}

TEST(BridgeProtocolProcess, AnswersEveryOutcomeByteExactly) {
    // Each case: its name, the bytes received, the answer and whether a session is stored.
    using Case = std::tuple<const char*, std::string, std::string, bool>;
    const std::string originHeader = "Origin: " + extension + "\r\n";
    const std::string ok = noCors("204 No Content");
    const std::string okCors = withCors("204 No Content", extension);
    const std::string bad = noCors("400 Bad Request");
    const std::string badCors = withCors("400 Bad Request", extension);
    const std::string forbidden = noCors("403 Forbidden");
    const std::string p256(256, 'p');
    const std::vector<Case> cases = {
        {"web origin refused first", playbackPost(validBody, "Origin: https://www.youtube.com\r\n"), forbidden, false},
        {"extension in other case", playbackPost(validBody, "Origin: Chrome-Extension://a\r\n"), forbidden, false},
        {"web page origin on OPTIONS", "OPTIONS / HTTP/1.1\r\nOrigin: http://localhost\r\n\r\n", forbidden, false},
        {"preflight any path with origin", "OPTIONS /anything HTTP/1.1\r\nHost: localhost\r\n" + originHeader + "\r\n",
         okCors, false},
        {"preflight without origin", "OPTIONS * HTTP/1.1\r\nHost: [::1]:43828\r\n\r\n", ok, false},
        {"preflight without host", "OPTIONS * HTTP/1.1\r\n" + originHeader + "\r\n", bad, false},
        {"report under a rebound name", playbackPost(validBody, "Host: sonavista.example:43828\r\n" + originHeader),
         forbidden, false},
        {"page id of 256 bytes", playbackPost(R"({"source":"youtube","playing":true,"volume":1,"pageId":")" + p256 + "\"}"),
         ok, true},
        {"page id of 257 bytes", playbackPost(R"({"source":"youtube","playing":true,"volume":1,"pageId":"p)" + p256 + "\"}"),
         bad, false},
        {"report with origin", playbackPost(validBody, originHeader), okCors, true},
        {"report without origin", playbackPost(validBody), ok, true},
        {"empty origin echoed", playbackPost(validBody, "Origin:\r\n"), withCors("204 No Content", ""), true},
        {"origin with a control character", playbackPost(validBody, "Origin: " + extension + "\x01x\r\n"), bad, false},
        {"not JSON", playbackPost("{nope", originHeader), badCors, false},
        {"no content length", "POST /playback HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Sonavista-Connector: 1\r\n\r\n" + validBody,
         bad, false},
        {"native source", playbackPost(R"({"source":"spotify","pageId":"1","playing":true,"volume":1})", originHeader),
         badCors, false},
        {"YouTube source", playbackPost(R"({"source":"YouTube","pageId":"1","playing":true,"volume":1})"), bad, false},
        {"lower-case method", playbackPost(validBody, originHeader, "/playback", "post"), badCors, false},
        {"query string", playbackPost(validBody, "", "/playback?x=1"), bad, false},
        {"connector missing",
         "POST /playback HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(validBody.size()) + "\r\n\r\n" + validBody, bad,
         false},
        {"connector not 1", playbackPost(validBody, "X-Sonavista-Connector: 2\r\n"), bad, false},
    };
    for (const auto& [name, bytes, answer, stored] : cases) {
        BrowserSessionTable table(std::make_shared<FakeClock>(100.0));
        const auto request = BridgeProtocol::parseRequest(bytes);
        ASSERT_TRUE(request) << name;
        const auto response = BridgeProtocol::process(*request, table);
        EXPECT_EQ(BridgeProtocol::responseText(response.status, response.origin), answer) << name;
        EXPECT_EQ(table.sessions().size(), stored ? 1u : 0u) << name;
    }
}

TEST(BridgeProtocolProcess, AcceptsOnlyLoopbackHostNames) {
    for (const auto* host : {"127.0.0.1", "127.0.0.1:43828", "LocalHost", "localhost:1", "[::1]", "[::1]:43828"}) {
        EXPECT_TRUE(BridgeProtocol::isLoopbackHost(host)) << host;
    }
    for (const auto* host : {"", "::1", "127.0.0.1:", "127.0.0.1:4x", "127.0.0.1:123456", "localhost.example.org"}) {
        EXPECT_FALSE(BridgeProtocol::isLoopbackHost(host)) << host;
    }
}

// The sessions stored for each report body (none: rejected). Any page id is a key, the empty
// one and one with a NUL included.
TEST(BridgeProtocolProcess, StoresTheReportWithClampedVolume) {
    const double now = 500.0;
    const auto stored = [&](P player, bool playing, double volume, const std::string& pageId = "p") {
        return std::map<std::string, BrowserSession>{{pageId, BrowserSession{player, playing, volume, now}}};
    };
    const std::vector<std::pair<std::string, std::map<std::string, BrowserSession>>> cases = {
        {R"({"source":"youtube","pageId":"p","playing":true,"volume":0.8})", stored(P::youtube, true, 0.8)},
        {R"({"source":"spotifyWeb","pageId":"p","playing":false,"volume":80})", stored(P::spotifyWeb, false, 1.0)},
        {R"({"source":"qqMusicWeb","pageId":"p","playing":true,"volume":-1})", stored(P::qqMusicWeb, true, 0.0)},
        {R"({"source":"youtube","pageId":"p","playing":true,"volume":0,"extra":[1,{"a":null}]})",
         stored(P::youtube, true, 0.0)},
        {R"({"source":"youtube","pageId":"","playing":true,"volume":1})", stored(P::youtube, true, 1.0, "")},
        {R"({"source":"youtube","pageId":"a\u0000b","playing":true,"volume":1})",
         stored(P::youtube, true, 1.0, std::string("a\0b", 3))},
        {R"({"source":"youtube","pageId":"p","playing":1,"volume":0.5})", {}},
        {R"({"source":"youtube","pageId":"p","playing":true,"volume":"0.5"})", {}},
        {R"({"source":"youtube","pageId":7,"playing":true,"volume":0.5})", {}},
        {R"({"source":"youtube","pageId":"p","playing":true})", {}},
        {R"([{"source":"youtube","pageId":"p","playing":true,"volume":0.5}])", {}},
    };
    for (const auto& [body, sessions] : cases) {
        BrowserSessionTable table(std::make_shared<FakeClock>(now));
        const auto request = BridgeProtocol::parseRequest(playbackPost(body));
        ASSERT_TRUE(request) << body;
        BridgeProtocol::process(*request, table);
        EXPECT_EQ(table.sessions(), sessions) << body;
    }
}

TEST(BrowserSessionTable, ChoosesTheBestLivePage) {
    // Each case: its name, the reports, when the snapshot is taken, the enabled players and the
    // snapshot.
    using enum MusicPlayer;
    using Case = std::tuple<const char*, std::vector<Report>, double, MusicPlayerSet,
                            std::optional<MusicPlaybackSnapshot>>;
    const std::vector<Case> cases = {
        {"empty table", {}, 10.0, allWeb, std::nullopt},
        {"reported exactly 3.5 s ago counts", {{10.0, "a", youtube, true, 0.5}}, 13.5, allWeb, playing(youtube, 0.5)},
        {"reported 3.6 s ago is gone", {{10.0, "a", youtube, true, 0.5}}, 13.6, allWeb, std::nullopt},
        {"two playing: the latest wins", {{10.0, "a", youtube, true, 0.5}, {11.0, "b", spotifyWeb, true, 0.7}}, 12.0,
         allWeb, playing(spotifyWeb, 0.7)},
        {"latest wins in any order", {{11.0, "a", youtube, true, 0.5}, {10.0, "b", spotifyWeb, true, 0.7}}, 12.0,
         allWeb, playing(youtube, 0.5)},
        {"playing beats later paused", {{10.0, "a", youtube, true, 0.5}, {11.0, "b", spotifyWeb, false, 0.7}}, 12.0,
         allWeb, playing(youtube, 0.5)},
        {"two paused: the latest wins", {{11.0, "a", youtube, false, 0.5}, {10.0, "b", spotifyWeb, false, 0.7}}, 12.0,
         allWeb, paused(youtube, 0.5)},
        {"disabled player ignored", {{10.0, "a", youtube, true, 0.5}, {9.0, "b", spotifyWeb, false, 0.7}}, 12.0,
         {spotifyWeb}, paused(spotifyWeb, 0.7)},
        {"last report of a page wins", {{10.0, "a", youtube, true, 0.5}, {11.0, "a", youtube, false, 0.2}}, 12.0,
         allWeb, paused(youtube, 0.2)},
        {"page changing source", {{10.0, "a", youtube, true, 0.5}, {11.0, "a", spotifyWeb, true, 0.6}}, 12.0,
         {youtube}, std::nullopt},
        {"equal times: the later report wins", {{10.0, "b", youtube, true, 0.5}, {10.0, "a", spotifyWeb, true, 0.7}},
         12.0, allWeb, playing(spotifyWeb, 0.7)},
        {"a page that paused no longer counts as playing",
         {{10.0, "a", youtube, true, 0.5}, {10.5, "b", youtube, true, 0.6}, {11.0, "b", youtube, false, 0.6}}, 12.0,
         allWeb, playing(youtube, 0.5)},
        {"stale playing loses to paused", {{10.0, "a", youtube, true, 0.5}, {13.0, "b", spotifyWeb, false, 0.6}}, 13.6,
         allWeb, paused(spotifyWeb, 0.6)},
    };
    for (const auto& [name, reports, snapshotAt, enabled, expected] : cases) {
        auto clock = std::make_shared<FakeClock>(0.0);
        BrowserSessionTable table(clock);
        for (const auto& [at, pageId, player, isPlaying, volume] : reports) {
            clock->set(at);
            table.store(pageId, player, isPlaying, volume);
        }
        const double oldestLive = snapshotAt - table.sessionLifetime();
        EXPECT_EQ(BrowserSessionTable::bestSession(table.latestSessions(), enabled, oldestLive), expected) << name;
    }
}

// A stored report expires stale pages, so that a table nobody reads cannot grow without bound.
TEST(BrowserSessionTable, StoringAReportDropsStalePages) {
    auto clock = std::make_shared<FakeClock>(100.0);
    BrowserSessionTable table(clock);
    table.store("old", MusicPlayer::youtube, true, 1.0);
    clock->advance(3.6);
    table.store("new", MusicPlayer::qqMusicWeb, false, 0.0);
    EXPECT_EQ(table.sessions().size(), 1u);
}

// At most 64 pages: a report of a new page beyond that evicts the page that reported least
// recently, while the summary a snapshot reads stays one entry per player and playing state.
TEST(BrowserSessionTable, KeepsAtMostTheMostRecentPages) {
    // Each case: the pages reporting after pages 0 to 63 (one report every 10 ms), then those gone.
    const std::vector<std::pair<std::vector<std::string>, std::set<std::string>>> cases = {
        {{}, {}}, {{"new"}, {"0"}}, {{"0", "new"}, {"1"}}, {{"5", "0", "63"}, {}}, {{"new", "newer"}, {"0", "1"}}};
    for (const auto& [later, gone] : cases) {
        auto clock = std::make_shared<FakeClock>(100.0);
        BrowserSessionTable table(clock);
        std::vector<std::string> pages(64);
        for (int i = 0; i < 64; ++i) pages[static_cast<std::size_t>(i)] = std::to_string(i);
        pages.insert(pages.end(), later.begin(), later.end());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            clock->set(100.0 + 0.01 * static_cast<double>(i));
            table.store(pages[i], i % 2 ? MusicPlayer::youtube : MusicPlayer::spotifyWeb, i % 3 == 0, 0.5);
        }
        std::set<std::string> missing;
        for (const auto sessions = table.sessions(); const auto& page : pages) {
            if (!sessions.contains(page)) missing.insert(page);
        }
        EXPECT_EQ(missing, gone) << later.size();
        EXPECT_EQ(table.size(), BrowserSessionTable::maximumPages);
        EXPECT_LE(table.latestSessions().size(), 4u);
    }
}
