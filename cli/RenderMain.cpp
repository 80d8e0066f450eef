// halovane-render: the window program's engine without a window. It loads
// the settings, makes the gestures the options name (start point, region),
// lets the render worker perform the runs and writes the image.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "cli/CommandLine.h"
#include "cli/SettingsInput.h"
#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/RenderPath.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "settings/RealText.h"
#include "settings/SettingsFile.h"
#include "ui/Input.h"

// --- Settings -------------------------------------------------------------------

// The --settings input, read whole first: a missing file gives the defaults.
static bool LoadSettingsInput(const char* path, std::string& reason)
{
    std::string bytes;
    bool missing = false;
    if (!ReadSettingsInput(path, bytes, missing, reason)) return false;
    if (missing) {
        LoadDefaultSettings();
        return true;
    }
    return LoadSettingsBytes(bytes, reason);
}

// The settings, then the overrides. False with a one-line message.
static bool ApplySettings(const Options& options, std::string& message)
{
    std::string reason;
    if (!options.settingsFile) {
        LoadSettings();
    } else if (!LoadSettingsInput(options.settingsFile, reason)) {
        message = std::string("cannot read the settings file ") + options.settingsFile + ": " + reason;
        return false;
    }
    for (const Setting& s : options.sets) {
        if (!SetSettingFromText(s.key.c_str(), s.value.c_str())) {
            message = "unknown setting " + s.key;
            return false;
        }
    }
    return true;
}

static void PrintSettings()
{
    std::vector<std::string> lines;
    SettingsFileLines(lines);
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
}

// --- Rendering ------------------------------------------------------------------

// Run ends seen so far and the run count asked for.
static Relaxed<uint32_t> runsDone;
static uint32_t runsWanted = 1;

// Told before the worker decides whether to chain: the last run ends the
// chain and the worker loop.
static void OnRunEnd()
{
    const uint32_t done = runsDone + 1u;
    runsDone = done;
    if (done >= runsWanted) {
        app.continuous = false;
        app.quitRequested = true;
    }
}

static void ShowProgress(const Relaxed<bool>& finished)
{
    const auto start = std::chrono::steady_clock::now();
    const uint32_t firstCount = WorkerPassCount();
    const uint64_t perRun = static_cast<uint64_t>(static_cast<int64_t>(app.settings.Iterations) + 2);
    const uint64_t total = perRun * runsWanted;
    while (!finished) {
        for (int k = 0; k < 5 && !finished; ++k) SleepMilliseconds(100);
        const uint64_t passes = static_cast<uint32_t>(WorkerPassCount() - firstCount);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        const uint64_t rate = ms > 0 ? passes * 1000 / static_cast<uint64_t>(ms) : 0;
        const uint32_t ended = runsDone;
        const uint32_t run = ended < runsWanted ? ended + 1u : runsWanted;
        std::fprintf(stderr, "\rrun %u/%u, passes %llu/%llu, %llu passes/s", run, runsWanted,
                     static_cast<unsigned long long>(passes), static_cast<unsigned long long>(total),
                     static_cast<unsigned long long>(rate));
        if (rate > 0 && total > passes)
            std::fprintf(stderr, ", %llu s left   ",
                         static_cast<unsigned long long>((total - passes) / rate));
        else
            std::fprintf(stderr, "              ");
    }
    std::fprintf(stderr, "\n");
}

// Runs the worker loop on this thread until the last run has ended.
static void RenderRuns(bool progress)
{
    runsDone = 0;
    SetRunEndListener(OnRunEnd);
    ResetRandom();
    app.continuous = runsWanted > 1;
    app.quitRequested = false;
    app.restartRequested = true;

    Relaxed<bool> finished{false};
    std::thread display;
    if (progress) display = std::thread(ShowProgress, std::cref(finished));
    RenderWorker(nullptr);
    finished = true;
    if (display.joinable()) display.join();
    SetRunEndListener(nullptr);
}

// The right click's part: the start point, snapped on request, marked red.
static void PlaceStartPoint(const Options& options)
{
    PlanePoint p = {app.settings.X, app.settings.Y};
    if (options.haveStart) p = {static_cast<float>(options.startRe), static_cast<float>(options.startIm)};
    p = ChooseStartPoint(p, options.snap);
    if (options.haveStart) MarkStartPoint(PlaneToViewPixel(p));
}

// The left drag's part: the region and region mode.
static void PlaceRegion(const Options& options)
{
    if (options.haveRegion) SelectRegion(options.regionRe, options.regionIm, options.regionSide);
}

static int Usage(const std::string& reason)
{
    std::fprintf(stderr, "halovane-render: %s\n%s", reason.c_str(), usageText);
    return exitUsage;
}

int main(int argc, char** argv)
{
    // A file size limit or a closed pipe makes the write fail with a reason
    // (exit 4) instead of killing the process half way.
#if !defined(_WIN32)
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
#endif

    Options options;
    std::string reason;
    if (!ParseCommandLine(argc, argv, options, reason)) return Usage(reason);
    if (options.help) {
        std::fputs(usageText, stdout);
        return exitDone;
    }
    if (!ApplySettings(options, reason)) {
        std::fprintf(stderr, "halovane-render: %s\n", reason.c_str());
        return exitUsage;
    }

    if (options.printSettings || options.saveSettings) {
        if (options.printSettings) PrintSettings();
        if (options.saveSettings) {
            // Settings are rewritten key by key: only a regular file (or a new one) takes that.
            struct stat info;
            const bool special = stat(options.saveSettings, &info) == 0 && !S_ISREG(info.st_mode);
            errno = 0;
            if (special || !SaveSettingsTo(options.saveSettings)) {
                std::fprintf(stderr, "halovane-render: cannot write the settings file %s: %s\n",
                             options.saveSettings,
                             special ? "it is not a regular file"
                                     : errno ? std::strerror(errno) : "the write failed");
                return exitOutput;
            }
        }
        return exitDone;
    }

    RenderPath path = BestRenderPath();
    RenderPathFromName(options.path, path);
    SetRenderPath(path);
    SetRenderThreads(static_cast<int32_t>(options.threads));

    if (!AllocBlocks()) return exitMemory;
    ClearImages();
    PlaceStartPoint(options);
    PlaceRegion(options);

    runsWanted = options.runs;
    if (runsWanted > 0) RenderRuns(!options.quiet && isatty(STDERR_FILENO));

    std::string error;
    const bool written = options.haveRegion ? WriteOutputBitmap(options.output, error)
                                            : WriteImageBitmap(app.viewImage, options.output, error);
    if (!written) {
        std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", options.output,
                     error.c_str());
        return exitOutput;
    }
    ReleaseBlocks();
    return exitDone;
}
