#pragma once

#include "audio/AudioCaptureBackend.h"
#include "base/WorkerThread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace sonavista::testing {

// A capture backend whose set-up answers and deliveries run on its own real thread,
// driven step by step by the test. Streams keep the backend's contract: once stop()
// returns no handler of the stream runs.
struct FakeCaptureBackend final : AudioCaptureBackend {
    // What became of one opened stream; outlives the stream itself.
    struct StreamRecord {
        std::atomic<bool> started{false};
        std::atomic<bool> stopped{false};
        std::atomic<int> stopCalls{0};
        std::atomic<bool> destroyed{false};
        std::vector<PlayerAudioIdentity> followed;  // main thread only
        bool running() const { return started && !stopped; }
    };

    struct Stream final : AudioCaptureStream {
        Stream(WorkerThread& thread, std::shared_ptr<StreamRecord> record) : thread_(thread), record_(std::move(record)) {}
        ~Stream() override {
            markStopped();
            record_->destroyed = true;
        }
        void start() override {
            if (!record_->stopped) record_->started = true;
        }
        void stop() override {
            ++record_->stopCalls;
            markStopped();
        }
        void follow(const PlayerAudioIdentity& player) override { record_->followed.push_back(player); }
        // Marked on the delivery thread, so a delivery in progress finishes first.
        void markStopped() {
            thread_.sync([record = record_] { record->stopped = true; });
        }

        WorkerThread& thread_;
        std::shared_ptr<StreamRecord> record_;
    };

    ~FakeCaptureBackend() override { flush(); }

    void openStream(Handlers handlers) override {
        std::lock_guard lock(mutex_);
        attempts_.push_back(std::make_shared<Attempt>(Attempt{std::move(handlers), std::make_shared<StreamRecord>()}));
    }

    std::shared_ptr<StreamRecord> record(std::size_t attempt) { return at(attempt)->record; }

    // Each of these queues work on the backend thread for the given attempt (default: the
    // latest); flush() waits until it has run.
    void completeOpen(std::size_t attempt = latest) {
        thread_.async([this, a = at(attempt)] {
            a->handlers.streamDidOpen(std::make_unique<Stream>(thread_, a->record));
        });
    }
    void failOpen(AudioCaptureFailure failure, std::size_t attempt = latest) {
        thread_.async([a = at(attempt), failure] { a->handlers.streamDidFailToOpen(failure); });
    }
    void deliver(std::vector<float> interleavedStereo, std::size_t attempt = latest) {
        thread_.async([a = at(attempt), samples = std::move(interleavedStereo)] {
            if (!a->record->running()) return;
            a->handlers.bufferDidArrive(AudioSampleBuffer::interleavedFloat(samples.data(), samples.size(), 2));
        });
    }
    // The stream ends by itself (for instance the server went away).
    void failStream(std::size_t attempt = latest) {
        thread_.async([a = at(attempt)] {
            if (a->record->running()) a->handlers.streamDidStopWithError();
        });
    }
    void reportLatency(double seconds, std::size_t attempt = latest) {
        thread_.async([a = at(attempt), seconds] { a->handlers.outputLatencyDidChange(seconds); });
    }
    void flush() { thread_.sync([] {}); }

    static constexpr std::size_t latest = static_cast<std::size_t>(-1);

    struct Attempt {
        Handlers handlers;
        std::shared_ptr<StreamRecord> record;
    };

    std::shared_ptr<Attempt> at(std::size_t attempt) {
        std::lock_guard lock(mutex_);
        return attempts_.at(attempt == latest ? attempts_.size() - 1 : attempt);
    }

    std::mutex mutex_;
    std::vector<std::shared_ptr<Attempt>> attempts_;
    WorkerThread thread_;
};

}  // namespace sonavista::testing
