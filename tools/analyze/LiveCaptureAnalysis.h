#pragma once

namespace sonavista {

// `sonavista-analyze --capture [--seconds S]`: analyses the system's audio output live and
// prints the same JSON Lines as for a file, `time` in seconds since the start. A capture
// failure is printed as {"time": T, "failure": "<case>"} and ends the run with status 3;
// SIGINT, SIGTERM or the end of S seconds stop it cleanly with status 0. Standard error
// names the sound server and the monitor source recorded, at start and at every switch of
// the default output.
class LiveCaptureAnalysis {
public:
    // True when the arguments (after the program name) ask for live capture.
    static bool isRequested(int argc, const char* const* argv);
    // Parses the arguments and runs; returns the exit status.
    static int run(int argc, const char* const* argv);
};

}  // namespace sonavista
