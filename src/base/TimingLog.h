#pragma once
// A debug log of how long the road of a screenshot takes, stage by stage.
// Off unless the environment variable SNAPORA_TIMING_LOG names a file (under
// Wine a Windows path such as Z:\tmp\timing.log); then every stage appends one
// line to it:
//
//   <ms since the program started> <stage> <ms the stage took>
//
// The stages: grab (the screen into the picture), prepare (from there to the
// worker's start: status, window, history), compression (the size ladder, with its quality
// and rungs), tempfile (the JPEG written), sending (the request's body out),
// answer (from the last byte sent to the reply), address (trigger to the
// address shown and copied).

#include <chrono>
#include <string_view>

namespace snapora {

class TimingLog {
public:
    using Clock = std::chrono::steady_clock;

    static bool Enabled();
    // One line for a stage that began at `started` and ends now.
    static void Stage(std::string_view stage, Clock::time_point started);
};

}  // namespace snapora
