// The wall clock in local time, to the millisecond: for the names and stamps
// a user reads (backups, recorded macros).
#pragma once

#include <chrono>
#include <ctime>

namespace kb {

struct LocalClockReading {
    std::tm tm{};
    int milliseconds = 0;
};

[[nodiscard]] inline LocalClockReading readLocalClock() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    LocalClockReading r;
#ifdef _WIN32
    localtime_s(&r.tm, &t);
#else
    localtime_r(&t, &r.tm);
#endif
    r.milliseconds =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    return r;
}

}  // namespace kb
