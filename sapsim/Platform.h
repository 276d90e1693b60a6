// Operating-system services of the stand-in library: waiting and the local clock.
#ifndef SAPSIM_PLATFORM_H
#define SAPSIM_PLATFORM_H

#include <cstdint>
#include <string>

namespace sapsim {

void SleepMilliseconds(std::uint32_t milliseconds);

// The local date and time now.
struct LocalTime {
    std::string date; // YYYYMMDD
    std::string time; // HHMMSS
};
LocalTime CurrentLocalTime();

} // namespace sapsim

#endif
