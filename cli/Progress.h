#pragma once
// halovane-render's progress report.
#include <cstdint>
#include <string>

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(uint64_t seconds);
// One report from passes done of total and the milliseconds taken so far:
// "42% done, 0:12 elapsed, 0:16 left", with "run 2/3, " before it when
// there are several runs. The time left is the elapsed time scaled by the
// passes still to do; it is missing until a pass is done.
std::string ProgressText(uint64_t done, uint64_t total, uint64_t elapsedMs, uint32_t run, uint32_t runs);
