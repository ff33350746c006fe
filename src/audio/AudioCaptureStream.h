#pragma once

#include "audio/PlayerAudioIdentity.h"

namespace sonavista {

// One capture stream that a backend has set up but that delivers nothing until started.
//
// Thread rules every implementation keeps: `start()` and `stop()` may be called from any
// thread, including from inside one of the stream's own handlers; `start()` after `stop()`
// does nothing; `stop()` is idempotent. Once `stop()` has returned (or the stream has been
// destroyed) no handler of this stream runs any more, except that a `stop()` made from
// inside a handler lets that one handler finish. Destroying a stream stops it.
class AudioCaptureStream {
public:
    virtual ~AudioCaptureStream() = default;

    // Begins delivering sample buffers on the backend's delivery thread.
    virtual void start() = 0;
    // Ends delivery and releases the stream on the sound server.
    virtual void stop() = 0;
    // Records only the playback streams of `player` while it has any, and everything the
    // computer plays otherwise or when `player` is empty (the default). A stream that cannot
    // tell players apart records everything.
    virtual void follow(const PlayerAudioIdentity& player) { static_cast<void>(player); }
    // While paused a started stream keeps its place on the server, and reports its failures
    // as before, but records and delivers nothing. A stream that cannot pause ignores it.
    virtual void setPaused(bool paused) { static_cast<void>(paused); }
};

}  // namespace sonavista
