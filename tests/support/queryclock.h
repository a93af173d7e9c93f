#pragma once

// A clock for the stall limit of database queries that the test drives, so
// that "stalled" depends on the work done, never on how fast the machine is.

#include "backup/queryinterrupt.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace testsupport {

// Stands in for the steady clock of the query interrupts made while it
// lives: every look at it moves it a second on, so a query stalls after as
// many looks without progress as its limit has seconds.
struct QueryClock
{
    static inline std::atomic<std::int64_t> s_nowMs{0}, s_reads{0};
    static std::chrono::steady_clock::time_point now()
    {
        ++s_reads;
        return std::chrono::steady_clock::time_point(std::chrono::milliseconds(s_nowMs += 1000));
    }
    QueryClock() { QueryInterrupt::setClock(&now); }
    ~QueryClock() { QueryInterrupt::setClock(nullptr); }
};

} // namespace testsupport
