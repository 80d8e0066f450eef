#include "cli/Progress.h"

#include <cstdio>

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

bool EstimateTimeLeft(ProgressPoint first, ProgressPoint now, uint64_t total, uint64_t& leftMs)
{
    if (now.done >= total || now.done <= first.done || now.elapsedMs < first.elapsedMs) return false;
    const uint64_t passes = now.done - first.done, ms = now.elapsedMs - first.elapsedMs;
    if (passes < (total + 19) / 20 || ms < 1000) return false;
    // In double: passes times milliseconds can pass 2^64.
    leftMs = static_cast<uint64_t>(static_cast<double>(ms) * static_cast<double>(total - now.done) /
                                   static_cast<double>(passes));
    return true;
}

std::string ProgressText(ProgressPoint first, ProgressPoint now, uint64_t total, uint32_t run, uint32_t runs)
{
    const uint64_t done = now.done < total ? now.done : total;
    std::string text;
    if (runs > 1) text = "run " + std::to_string(run) + "/" + std::to_string(runs) + ", ";
    // Whole percents, rounded down: 100% only when everything is done.
    const uint64_t percent = total > 0 ? done * 100 / total : 100;
    text += std::to_string(percent) + "% done, " + DurationText(now.elapsedMs / 1000) + " elapsed";
    uint64_t leftMs = 0;
    if (EstimateTimeLeft(first, now, total, leftMs)) text += ", " + DurationText((leftMs + 500) / 1000) + " left";
    return text;
}
