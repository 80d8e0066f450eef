#pragma once
// halovane-render's progress report.
#include <cstdint>
#include <string>

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(uint64_t seconds);

// Passes done and the milliseconds since the render began, at one moment.
struct ProgressPoint {
    uint64_t done;
    uint64_t elapsedMs;
};

// The time left at now, from the pace since first (the moment the first
// pass was seen: seeding before it, long with BorderOnly, is no pass). False
// until a twentieth of the work and a second have gone by since first:
// before that the pace is a guess.
bool EstimateTimeLeft(ProgressPoint first, ProgressPoint now, uint64_t total, uint64_t& leftMs);

// One report of now.done passes of total: "42% done, 0:12 elapsed, 0:16
// left", with "run 2/3, " before it when there are several runs, and the
// time left only once EstimateTimeLeft gives one.
std::string ProgressText(ProgressPoint first, ProgressPoint now, uint64_t total, uint32_t run, uint32_t runs);
