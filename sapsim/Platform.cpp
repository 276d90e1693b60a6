#include "Platform.h"

#include <cstdio>
#include <ctime>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <time.h>
#endif

namespace sapsim {

void SleepMilliseconds(std::uint32_t milliseconds) {
    if (milliseconds == 0) return;
#if defined(_WIN32)
    Sleep(milliseconds);
#else
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
#endif
}

LocalTime CurrentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#if defined(_WIN32)
    if (localtime_s(&parts, &now) != 0) parts = std::tm{};
#else
    if (localtime_r(&now, &parts) == nullptr) parts = std::tm{};
#endif
    char date[16];
    char time[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", (parts.tm_year + 1900) % 10000, (parts.tm_mon + 1) % 100,
                  parts.tm_mday % 100);
    std::snprintf(time, sizeof time, "%02d%02d%02d", parts.tm_hour % 100, parts.tm_min % 100,
                  parts.tm_sec % 100);
    return {date, time};
}

} // namespace sapsim
