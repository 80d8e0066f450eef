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

std::string ProgressText(uint64_t done, uint64_t total, uint64_t elapsedMs, uint32_t run, uint32_t runs)
{
    if (done > total) done = total;
    std::string text;
    if (runs > 1) text = "run " + std::to_string(run) + "/" + std::to_string(runs) + ", ";
    // Whole percents, rounded down: 100% only when everything is done.
    const uint64_t percent = total > 0 ? done * 100 / total : 100;
    text += std::to_string(percent) + "% done, " + DurationText(elapsedMs / 1000) + " elapsed";
    if (done > 0 && done < total) {
        // In double: passes times milliseconds can pass 2^64.
        const double leftMs = static_cast<double>(elapsedMs) * static_cast<double>(total - done) /
                              static_cast<double>(done);
        text += ", " + DurationText(static_cast<uint64_t>(leftMs / 1000.0 + 0.5)) + " left";
    }
    return text;
}
