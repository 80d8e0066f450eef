#pragma once
// halovane-render's progress report.
#include <cstdint>
#include <string>
#include <vector>

// Seconds as "m:ss", or "h:mm:ss" from an hour on.
std::string DurationText(uint64_t seconds);

// Passes done and the milliseconds since the render began, at one moment.
struct ProgressPoint {
    uint64_t done;
    uint64_t elapsedMs;
};

// The moments seen since the first pass, oldest first, thinned as they
// grow so that a render of days keeps a few thousand.
struct ProgressHistory {
    std::vector<ProgressPoint> points;
};
void RecordProgress(ProgressHistory& history, ProgressPoint now);
// The pace is measured over the last quarter of the time since the first
// pass, and at least its last second: from is where that window starts,
// middle where its second half does (the first pass at most, both).
struct PaceWindow {
    ProgressPoint from;
    ProgressPoint middle;
};
PaceWindow PaceOver(const ProgressHistory& history, ProgressPoint now);

// The time left at now, from the pace over the window. False until a
// twentieth of the passes and a second have gone by since first, the first
// pass seen (seeding before it, long with BorderOnly, is no pass), and while
// the pace is still changing: the window's second half going more than a
// quarter faster or a fifth slower than the whole. Passes speed up early in
// a render, as fewer samples need a fresh seed; before the pace settles an
// estimate would be a guess.
bool EstimateTimeLeft(ProgressPoint first, PaceWindow pace, ProgressPoint now, uint64_t total, uint64_t& leftMs);

// One report of now.done passes of total: "42% done, 0:12 elapsed, 0:16
// left", with "run 2/3, " before it when there are several runs, and the
// time left only once EstimateTimeLeft gives one.
std::string ProgressText(ProgressPoint first, PaceWindow pace, ProgressPoint now, uint64_t total, uint32_t run,
                         uint32_t runs);
