#include "audio/DefaultSinkSession.h"

namespace sonavista {

using State = DefaultSinkSession::State;
using Action = DefaultSinkSession::Action;

bool DefaultSinkSession::isOpen() const {
    return state_ == State::recording || state_ == State::relinking || state_ == State::waitingForSink;
}

Action DefaultSinkSession::end(Action how) {
    state_ = State::ended;
    return how;
}

Action DefaultSinkSession::connected() {
    if (state_ != State::connecting) return Action::none;
    state_ = State::resolvingSink;
    return Action::askDefaultSink;
}

Action DefaultSinkSession::defaultSinkNamed(std::string_view name) {
    switch (state_) {
        case State::resolvingSink:
            // A server without sinks may still name a default; its lookup then fails.
            return name.empty() ? end(Action::failToOpen) : Action::lookUpSink;
        case State::waitingForSink:
            // The same name as before counts: the sink may be back under it.
            return name.empty() ? Action::none : Action::lookUpSink;
        case State::linking:
        case State::recording:
        case State::relinking:
            // Only a move to another sink matters; without a default the stream goes on
            // until the server ends it.
            return name.empty() || name == sink_ ? Action::none : Action::lookUpSink;
        case State::connecting:
        case State::ended: return Action::none;
    }
    return Action::none;
}

Action DefaultSinkSession::sinkFound(std::string_view name) {
    switch (state_) {
        case State::resolvingSink: state_ = State::linking; break;
        case State::waitingForSink: state_ = State::relinking; break;
        case State::linking:
        case State::recording:
        case State::relinking:
            if (name == sink_) return Action::none;  // already recording it
            if (state_ == State::recording) state_ = State::relinking;
            break;
        case State::connecting:
        case State::ended: return Action::none;
    }
    sink_ = name;
    return Action::record;
}

Action DefaultSinkSession::sinkMissing() {
    // After the hand-over a stream still recording another sink goes on, and a waiting
    // session hears of the next sink through `sinkAppeared` or `serverChanged`.
    return state_ == State::resolvingSink ? end(Action::failToOpen) : Action::none;
}

Action DefaultSinkSession::serverChanged() {
    return state_ == State::connecting || state_ == State::ended ? Action::none : Action::askDefaultSink;
}

Action DefaultSinkSession::sinkAppeared() {
    // Recording, sinks change all the time (a volume moved); only a waiting session cares.
    return state_ == State::waitingForSink ? Action::askDefaultSink : Action::none;
}

Action DefaultSinkSession::streamReady() {
    switch (state_) {
        case State::linking: state_ = State::recording; return Action::handOver;
        case State::relinking: state_ = State::recording; return Action::resume;
        default: return Action::none;
    }
}

Action DefaultSinkSession::streamLost() {
    switch (state_) {
        case State::linking: return end(Action::failToOpen);
        case State::recording:
        case State::relinking: state_ = State::waitingForSink; return Action::waitForSink;
        default: return Action::none;
    }
}

Action DefaultSinkSession::waitExpired() {
    // A stream that is still linking when the wait ends counts as not back.
    return state_ == State::waitingForSink || state_ == State::relinking ? end(Action::reportStop) : Action::none;
}

Action DefaultSinkSession::connectionLost() {
    if (state_ == State::ended) return Action::none;
    return end(isOpen() ? Action::reportStop : Action::failToOpen);
}

}  // namespace sonavista
