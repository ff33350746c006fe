#pragma once

#include <string>
#include <string_view>

namespace sonavista {

// The decisions of one capture session that records the monitor of a sound server's
// default sink: what the session does next, given what the server just said. It holds
// no connection; the server adapter performs each returned action (PulseAudioStream).
//
//   connecting --connected--> resolvingSink --sinkFound--> linking --streamReady--> recording
//                                                                      (handed to the owner)
//   recording --sinkFound (a new default)--> relinking --streamReady--> recording
//   recording or relinking --streamLost--> waitingForSink --sinkFound--> relinking
//   waitingForSink or relinking after a loss --waitExpired--> ended (the stop is reported)
//   any state --connectionLost or stopped--> ended
//
// Before the hand-over every failure fails the set-up. Afterwards a lost stream waits for a
// default sink: under a new name, or the same one coming back (a Bluetooth profile switch,
// a USB DAC replugged). While it waits every new or changed sink makes the session ask for
// the default sink again, and the wait ends when a stream records again or when the wait
// expires (the adapter's timer, armed by `waitForSink` and ended by `resume`: it runs exactly
// while the session waits for a sink or relinks after a loss).
class DefaultSinkSession {
public:
    enum class State { connecting, resolvingSink, linking, recording, relinking, waitingForSink, ended };

    enum class Action {
        none,
        askDefaultSink,  // ask the server which sink is the default
        lookUpSink,      // ask for the default sink's monitor source (`sink()` is not set yet)
        record,          // replace any record stream by one on the found sink's monitor
        handOver,        // the first stream is ready: give the session to its owner
        resume,          // a stream records again: end the wait
        waitForSink,     // drop the lost stream, arm the wait unless it runs, ask for the default sink
        failToOpen,      // end the set-up with a failure (the session is not handed over)
        reportStop,      // end a handed-over session and report that it stopped by itself
    };

    State state() const { return state_; }
    // Handed to the owner (the first stream got ready) and not ended before that.
    bool isOpen() const;
    // The sink whose monitor the current stream records or is linking to.
    const std::string& sink() const { return sink_; }

    // The connection to the server is ready.
    Action connected();
    // The server named its default sink (empty: none, or the question failed).
    Action defaultSinkNamed(std::string_view name);
    // The looked-up sink exists, with a monitor; `record` makes it the recorded sink.
    Action sinkFound(std::string_view name);
    // The looked-up sink does not exist (any more) or has no monitor.
    Action sinkMissing();
    // The server's default sink may have changed.
    Action serverChanged();
    // A sink appeared or changed (a returning sink shows as one of these).
    Action sinkAppeared();
    Action streamReady();
    // The record stream failed or was ended by the server (its sink went away).
    Action streamLost();
    // The wait armed by `waitForSink` ran out.
    Action waitExpired();
    // The connection to the server failed or ended.
    Action connectionLost();
    // The owner stopped the session; nothing is reported.
    void stopped() { state_ = State::ended; }

private:
    Action end(Action how);

    State state_ = State::connecting;
    std::string sink_;
};

}  // namespace sonavista
