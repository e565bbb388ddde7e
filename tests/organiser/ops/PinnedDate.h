#pragma once

#include <ctime>

namespace nosk::test {

// The clock of the report tests: Monday 7 December 2026, 04:05:09.
inline std::tm pinnedDate()
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_wday = 1;
    t.tm_hour = 4;
    t.tm_min = 5;
    t.tm_sec = 9;
    return t;
}

} // namespace nosk::test
