#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <vector>

namespace sonavista {

// Mixes the recordings of several playback streams of one player (a player may play through
// more than one stream at once) into one run of interleaved stereo float samples.
//
// The streams are recorded separately and deliver in fragments of their own timing, so one of
// them paces the mix: each fragment of this lead stream comes out with whatever the others
// recorded meanwhile added to it, up to its own length. A lead that stops delivering (its
// stream paused or ended) hands over to the first stream that has queued a whole
// `leadTimeoutFrames` meanwhile. What a stream queued beyond that is dropped, so a stalled
// mix never delivers stale sound. With one stream, its fragments pass through unchanged.
class PlaybackStreamMixer {
public:
    static constexpr std::size_t channels = 2;
    // About 0.1 s at 48 kHz.
    static constexpr std::size_t leadTimeoutFrames = 4800;

    // The streams mixed from now on; others are forgotten, new ones start empty.
    void setStreams(const std::vector<std::uint32_t>& streams);
    // One fragment of `stream`. Returns the mixed samples to deliver now (valid until the next
    // call), or an empty span when the fragment was queued for the lead's next one.
    std::span<const float> add(std::uint32_t stream, std::span<const float> samples);
    std::uint32_t lead() const { return lead_; }

private:
    std::map<std::uint32_t, std::deque<float>> pending_;  // the other streams' queued samples
    std::uint32_t lead_ = 0;
    bool hasLead_ = false;
    std::vector<float> mixed_;
};

}  // namespace sonavista
