#include "base/TimingLog.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace snapora {

namespace {

struct LogFile {
    std::mutex mutex;
    std::FILE* file = nullptr;
    TimingLog::Clock::time_point started = TimingLog::Clock::now();

    LogFile() {
        if (const char* path = std::getenv("SNAPORA_TIMING_LOG"); path && *path) file = std::fopen(path, "a");
    }
};

LogFile& Log() {
    static LogFile log;  // opened on first use, which program start makes early
    return log;
}

double Milliseconds(TimingLog::Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

bool TimingLog::Enabled() { return Log().file != nullptr; }

void TimingLog::Stage(std::string_view stage, Clock::time_point started) {
    LogFile& log = Log();
    if (!log.file) return;
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(log.mutex);
    std::fprintf(log.file, "%.1f %.*s %.1f\n", Milliseconds(now - log.started), int(stage.size()), stage.data(),
                 Milliseconds(now - started));
    std::fflush(log.file);
}

}  // namespace snapora
