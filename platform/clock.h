// Millisecond tick counter and sleep.
#pragma once

#include <cstdint>

namespace tavc::clock {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows tick count: compare two
// readings only by their unsigned difference.
uint32_t tick_count();

// Microseconds on the same monotonic clock, never wrapping: the clock sd-bus states its time-outs in.
uint64_t monotonic_us();

// Sleeps at least `ms` milliseconds (resumes after signals).
void sleep_ms(uint32_t ms);

}  // namespace tavc::clock
