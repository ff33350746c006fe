// sonavista-analyze: offline analysis of a sound file, printed as JSON Lines.
// Exit status: 0 success (also after a silence report), 1 output or read failure,
// 2 bad usage or unusable input. With --capture: live system audio (see LiveCaptureAnalysis.h).
#include "AnalyzeOptions.h"
#include "FrameJsonWriter.h"
#include "LiveCaptureAnalysis.h"
#include "SoundFileAnalysis.h"

#include <cstdio>
#include <new>
#include <sndfile.h>

using namespace sonavista;

namespace {

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "sonavista-analyze: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (LiveCaptureAnalysis::isRequested(argc - 1, argv + 1)) {
        return LiveCaptureAnalysis::run(argc - 1, argv + 1);
    }
    const auto parsed = AnalyzeOptions::parse(argc - 1, argv + 1);
    if (const auto* error = std::get_if<AnalyzeOptions::Error>(&parsed)) {
        return fail(2, error->message + " (try --help)");
    }
    const auto& options = std::get<AnalyzeOptions>(parsed);
    if (options.help) {
        std::fputs(AnalyzeOptions::usage(), stdout);
        return 0;
    }

    auto opened = SoundFileAnalysis::open(options.file);
    if (const auto* message = std::get_if<std::string>(&opened)) {
        return fail(2, *message);
    }
    auto& analysis = std::get<std::unique_ptr<SoundFileAnalysis>>(opened);

    static char outputBuffer[1 << 20];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    FrameJsonWriter writer(stdout);
    SoundFileAnalysis::Result result;
    try {
        result = analysis->run(options.blockFrames, writer);
    } catch (const std::bad_alloc&) {
        return fail(2, "not enough memory for blocks of " + std::to_string(options.blockFrames) + " frames");
    }
    if (!writer.finish()) {
        return fail(1, "cannot write the output");
    }
    if (result == SoundFileAnalysis::Result::readError) {
        return fail(1, options.file + ": read error");
    }
    return 0;
}
