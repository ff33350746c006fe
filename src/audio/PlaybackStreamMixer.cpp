#include "audio/PlaybackStreamMixer.h"

#include <algorithm>

namespace sonavista {

void PlaybackStreamMixer::setStreams(const std::vector<std::uint32_t>& streams) {
    std::erase_if(pending_, [&](const auto& entry) {
        return std::find(streams.begin(), streams.end(), entry.first) == streams.end();
    });
    for (const std::uint32_t stream : streams) pending_[stream];
    if (hasLead_ && !pending_.contains(lead_)) hasLead_ = false;
    if (!hasLead_ && !streams.empty()) {
        lead_ = streams.front();
        hasLead_ = true;
    }
}

std::span<const float> PlaybackStreamMixer::add(std::uint32_t stream, std::span<const float> samples) {
    const auto own = pending_.find(stream);
    if (own == pending_.end()) return {};
    if (pending_.size() == 1) return samples;
    if (stream != lead_) {
        auto& queue = own->second;
        queue.insert(queue.end(), samples.begin(), samples.end());
        const std::size_t limit = leadTimeoutFrames * channels;
        if (queue.size() <= limit) return {};
        // The lead has been silent for as long: this stream leads from now on, starting
        // with what it queued (the newest part of it).
        queue.erase(queue.begin(), queue.end() - static_cast<std::ptrdiff_t>(std::min(queue.size(), limit)));
        lead_ = stream;
        mixed_.assign(queue.begin(), queue.end());
        queue.clear();
    } else {
        mixed_.assign(samples.begin(), samples.end());
    }
    for (auto& [other, queue] : pending_) {
        if (other == lead_) continue;
        const std::size_t count = std::min(queue.size(), mixed_.size());
        for (std::size_t i = 0; i < count; ++i) mixed_[i] += queue[i];
        queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
        // Whatever is left beyond a lead fragment's worth would only grow stale.
        const std::size_t limit = leadTimeoutFrames * channels;
        if (queue.size() > limit) queue.erase(queue.begin(), queue.end() - static_cast<std::ptrdiff_t>(limit));
    }
    return mixed_;
}

}  // namespace sonavista
