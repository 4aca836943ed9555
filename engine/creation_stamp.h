// The time stamp that names a single-mailbox .pst and the store: "d.m.YY H.m.ss", day and month without
// leading zeros, two-digit year, hour (24-hour clock) and minutes without leading zeros, seconds with two
// digits. 6 December 2026, 14:05:09 gives "6.12.26 14.5.09".
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace velmora::engine {

std::string FormatCreationStamp(const std::tm& local);

// The local date and time now; tests replace it.
using LocalClock = std::function<std::tm()>;
std::tm LocalTimeNow();

}  // namespace velmora::engine
