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
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "cli/CommandLine.h"
#include "cli/DeepOutput.h"
#include "cli/Progress.h"
#include "cli/SettingsInput.h"
#include "output/Png.h"
#include "platform/Platform.h"
#include "render/Blocks.h"
#include "render/RenderPath.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "render/Worker.h"
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

// The image written at the end and after every run: the output image in
// region mode, the view image otherwise.
static bool regionOutput = false;
static const RgbImage& ResultImage() { return regionOutput ? app.outputImage : app.viewImage; }

// The frames asked for, and the first frame that could not be written.
static const FramePattern* frames = nullptr;
static std::string frameFailure;

// Told on the worker thread at every run end, before the worker chains the
// next run: the image is what --runs done would write, and no pass runs
// while the frame is written. The last run, or a failed frame, ends the
// chain and the worker loop.
static void OnRunEnd()
{
    const uint32_t done = runsDone + 1u;
    runsDone = done;
    bool last = done >= runsWanted;
    if (frames) {
        const std::string name = FrameName(*frames, done);
        std::string error;
        if (!WriteImageFile(ResultImage(), name.c_str(), error)) {
            frameFailure = "cannot write the frame " + name + ": " + error;
            last = true;
        }
    }
    std::string deepError;
    if (frameFailure.empty() && !WriteDeepFrame(done, deepError)) {
        frameFailure = deepError;
        last = true;
    }
    if (last) {
        app.continuous = false;
        app.quitRequested = true;
    }
}

// Progress on standard error until finished: on a terminal one line redrawn
// four times a second, otherwise a plain line every 10 s.
static void ShowProgress(const Relaxed<bool>& finished, bool terminal)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const uint32_t firstCount = WorkerPassCount();
    const uint64_t perRun = static_cast<uint64_t>(static_cast<int64_t>(app.settings.Iterations) + 2);
    const uint64_t total = perRun * runsWanted;
    const int pauses = terminal ? 25 : 1000;  // of 10 ms
    size_t shown = 0;                         // length of the line on screen
    bool reported = false;
    for (;;) {
        for (int k = 0; k < pauses && !finished; ++k) SleepMilliseconds(10);
        const bool last = finished;
        if (last && !terminal && !reported) return;
        const uint64_t passes = static_cast<uint32_t>(WorkerPassCount() - firstCount);
        const uint64_t ms = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        const uint32_t ended = runsDone;
        const uint32_t run = ended < runsWanted ? ended + 1u : runsWanted;
        const std::string text = ProgressText(passes, total, ms, run, runsWanted);
        if (terminal) {
            // Spaces wipe what is left of a longer line before.
            const size_t wipe = shown > text.size() ? shown - text.size() : 0;
            std::fprintf(stderr, "\r%s%*s%s", text.c_str(), static_cast<int>(wipe), "", last ? "\n" : "");
            shown = text.size();
        } else {
            std::fprintf(stderr, "halovane-render: %s\n", text.c_str());
            reported = true;
        }
        std::fflush(stderr);
        if (last) return;
    }
}

// Runs the worker loop on this thread until the last run has ended.
static void RenderRuns(bool progress, bool terminal)
{
    runsDone = 0;
    SetRunEndListener(OnRunEnd);
    ResetRandom();
    app.continuous = runsWanted > 1;
    app.quitRequested = false;
    app.restartRequested = true;

    Relaxed<bool> finished{false};
    std::thread display;
    if (progress) display = std::thread(ShowProgress, std::cref(finished), terminal);
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
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif

    Options options;
    std::string reason;
    if (!ParseCommandLine(argc, argv, options, reason)) return Usage(reason);
    if (options.help) {
        std::fputs(usageText, stdout);
        std::fputs(deepUsageText, stdout);
        return exitDone;
    }
    if (options.version) {
        std::printf("halovane-render %s\n", HALOVANE_VERSION);
        return exitDone;
    }
    if (!CheckDeepOptions(options.deep, options.haveRegion, reason)) return Usage(reason);
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

    if (!AllocBlocks() || !PrepareDeepImage(options.deep)) return exitMemory;
    ClearImages();
    PlaceStartPoint(options);
    PlaceRegion(options);

    runsWanted = options.runs;
    regionOutput = options.haveRegion;
    if (options.frames) frames = &options.framePattern;
    if (runsWanted > 0) RenderRuns(!options.quiet, isatty(STDERR_FILENO) != 0);
    if (!frameFailure.empty()) {
        std::fprintf(stderr, "halovane-render: %s\n", frameFailure.c_str());
        return exitOutput;
    }

    std::string error;
    if (!WriteImageFile(ResultImage(), options.output, error)) {
        std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", options.output,
                     error.c_str());
        return exitOutput;
    }
    if (!WriteDeepOutputs(error)) {
        std::fprintf(stderr, "halovane-render: %s\n", error.c_str());
        return exitOutput;
    }
    ReleaseBlocks();
    return exitDone;
}
