#include "core/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "util/DateTime.h"

namespace pelkor {

Date SystemClock::Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto secs = time_point_cast<seconds>(now);
    if (secs > now) secs -= seconds(1);
    double ms = duration_cast<milliseconds>(now - secs).count();
    return DateFromTimeT(system_clock::to_time_t(secs)) + ms / 86400000.0;
}

void SystemClock::Sleep(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace pelkor
