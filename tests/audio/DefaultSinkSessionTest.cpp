#include "audio/DefaultSinkSession.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace sonavista;
using State = DefaultSinkSession::State;

namespace {

// What the session answers to one event, written "event" or "event:sink".
const char* answer(DefaultSinkSession& s, const std::string& event) {
    using enum DefaultSinkSession::Action;
    static const char* const names[] = {"none",   "ask",  "lookUp", "record", "handOver",
                                        "resume", "wait", "fail",   "stop"};
    const std::string sink = event.substr(event.find(':') + 1);
    const auto action = event == "connected" ? s.connected() : event.starts_with("default:") ? s.defaultSinkNamed(sink)
                      : event.starts_with("found:") ? s.sinkFound(sink) : event == "missing" ? s.sinkMissing()
                      : event == "server" ? s.serverChanged() : event == "sink" ? s.sinkAppeared()
                      : event == "ready" ? s.streamReady() : event == "lost" ? s.streamLost()
                      : event == "expired" ? s.waitExpired() : event == "gone" ? s.connectionLost() : none;
    return names[static_cast<int>(action)];
}

TEST(DefaultSinkSession, DecidesEachStepFromWhatTheServerSays) {
    const std::string up = "connected=ask default:out=lookUp found:out=record ready=handOver ";
    // Per case: "event=expected answer" steps, and the state after the last one. (The integration
    // tests run the common paths on real servers.)
    for (const auto& [steps, last] : std::initializer_list<std::pair<std::string, State>>{
             {"connected=ask default:out=lookUp found:out=record lost=fail ready=none", State::ended},
             {up + "sink=none default:hp=lookUp found:hp=record default:hp=none ready=resume", State::recording},
             {up + "lost=wait expired=stop sink=none found:out=none gone=none", State::ended},
             {up + "lost=wait default:=none sink=ask found:out=record expired=stop", State::ended},
             {up + "found:hp=record lost=wait lost=none found:hp=record", State::relinking}}) {
        DefaultSinkSession session;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            EXPECT_EQ(answer(session, step.substr(0, step.find('='))), step.substr(step.find('=') + 1)) << steps;
        }
        EXPECT_EQ(session.state(), last) << steps;
    }
}

}  // namespace
