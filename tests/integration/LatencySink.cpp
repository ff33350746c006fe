// A stand-in for a Bluetooth output on PipeWire: an audio sink named argv[1] whose input
// ports report argv[2] milliseconds of latency downstream of them, as a Bluetooth sink
// reports its codec and transport delay. It discards what it is given and runs until killed.
// PipeWire's method macros are GNU statement expressions, which clang's -Wpedantic reports
// where they are expanded.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#endif
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/param/latency-utils.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

pw_stream* sink = nullptr;

void discard(void*) {
    if (pw_buffer* buffer = pw_stream_dequeue_buffer(sink)) pw_stream_queue_buffer(sink, buffer);
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const long long milliseconds = argc == 3 ? std::strtoll(argv[2], &end, 10) : -1;
    if (argc != 3 || end == argv[2] || *end != '\0' || milliseconds < 0) {
        std::fprintf(stderr, "usage: %s SINK-NAME LATENCY-MILLISECONDS\n", argv[0]);
        return 2;
    }
    pw_init(&argc, &argv);
    pw_main_loop* loop = pw_main_loop_new(nullptr);
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = discard;
    sink = pw_stream_new_simple(pw_main_loop_get_loop(loop), argv[1],
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                                                  PW_KEY_MEDIA_CLASS, "Audio/Sink", PW_KEY_NODE_NAME, argv[1], nullptr),
                                &events, nullptr);
    std::uint8_t storage[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, storage, sizeof storage);
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_F32;
    format.rate = 48000;
    format.channels = 2;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* formats[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    const auto ns = static_cast<std::uint64_t>(milliseconds) * 1000000U;
    spa_latency_info latency{};
    latency.direction = SPA_DIRECTION_INPUT;
    latency.min_ns = latency.max_ns = ns;
    const spa_pod* latencies[] = {spa_latency_build(&builder, SPA_PARAM_Latency, &latency)};
    pw_stream_connect(sink, PW_DIRECTION_INPUT, PW_ID_ANY,
                      static_cast<pw_stream_flags>(PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS), formats, 1);
    pw_stream_update_params(sink, latencies, 1);
    pw_main_loop_run(loop);
}
