#include "cli/Progress.h"

#include <cstdio>

namespace {

// Past this many points every second one goes.
const size_t kHistoryLimit = 4096;

}  // namespace

std::string DurationText(uint64_t seconds)
{
    char text[48];
    const unsigned long long s = seconds % 60, m = seconds / 60 % 60, h = seconds / 3600;
    if (h > 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", h, m, s);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", m, s);
    return text;
}

void RecordProgress(ProgressHistory& history, ProgressPoint now)
{
    std::vector<ProgressPoint>& points = history.points;
    if (points.size() >= kHistoryLimit) {
        // Keep the first (the first pass) and every second one after it.
        size_t kept = 1;
        for (size_t i = 2; i < points.size(); i += 2) points[kept++] = points[i];
        points.resize(kept);
    }
    points.push_back(now);
}

// The latest point at least ms before now; the first one at most.
static ProgressPoint PointBefore(const ProgressHistory& history, ProgressPoint now, uint64_t ms)
{
    ProgressPoint found = history.points.front();
    for (const ProgressPoint& p : history.points) {
        if (p.elapsedMs + ms > now.elapsedMs) break;
        found = p;
    }
    return found;
}

PaceWindow PaceOver(const ProgressHistory& history, ProgressPoint now)
{
    if (history.points.empty()) return {now, now};
    const ProgressPoint first = history.points.front();
    if (now.elapsedMs <= first.elapsedMs) return {first, first};
    uint64_t window = (now.elapsedMs - first.elapsedMs) / 4;
    if (window < 1000) window = 1000;
    return {PointBefore(history, now, window), PointBefore(history, now, window / 2)};
}

// Passes a millisecond from p to now; 0 when nothing can be measured.
static double Rate(ProgressPoint p, ProgressPoint now)
{
    if (now.done <= p.done || now.elapsedMs <= p.elapsedMs) return 0.0;
    return static_cast<double>(now.done - p.done) / static_cast<double>(now.elapsedMs - p.elapsedMs);
}

bool EstimateTimeLeft(ProgressPoint first, PaceWindow pace, ProgressPoint now, uint64_t total, uint64_t& leftMs)
{
    if (now.done >= total || now.done <= first.done || now.elapsedMs < first.elapsedMs + 1000) return false;
    if (now.done - first.done < (total + 19) / 20) return false;
    const double whole = Rate(pace.from, now), recent = Rate(pace.middle, now);
    if (whole <= 0.0 || recent <= 0.0 || recent > 1.25 * whole || recent < 0.8 * whole) return false;
    leftMs = static_cast<uint64_t>(static_cast<double>(total - now.done) / whole);
    return true;
}

std::string ProgressText(ProgressPoint first, PaceWindow pace, ProgressPoint now, uint64_t total, uint32_t run,
                         uint32_t runs)
{
    const uint64_t done = now.done < total ? now.done : total;
    std::string text;
    if (runs > 1) text = "run " + std::to_string(run) + "/" + std::to_string(runs) + ", ";
    // Whole percents, rounded down: 100% only when everything is done.
    const uint64_t percent = total > 0 ? done * 100 / total : 100;
    text += std::to_string(percent) + "% done, " + DurationText(now.elapsedMs / 1000) + " elapsed";
    uint64_t leftMs = 0;
    if (EstimateTimeLeft(first, pace, now, total, leftMs)) text += ", " + DurationText((leftMs + 500) / 1000) + " left";
    return text;
}
