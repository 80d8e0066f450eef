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
#include <system_error>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "cli/CommandLine.h"
#include "cli/DeepOutput.h"
#include "cli/Progress.h"
#include "cli/Recipe.h"
#include "cli/SettingsInput.h"
#include "cli/Signals.h"
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

// The --settings input, read whole first. A file named there must exist:
// a scene that renders the defaults instead is worse than none.
static bool LoadSettingsInput(const char* path, std::string& reason)
{
    std::string bytes;
    bool missing = false;
    if (!ReadSettingsInput(path, bytes, missing, reason)) return false;
    if (missing) {
        reason = std::strerror(ENOENT);
        return false;
    }
    return LoadSettingsBytes(bytes, reason);
}

// The settings (a recipe starts from the defaults, then gives every one),
// then the overrides. False with a one-line message.
static bool ApplySettings(const Options& options, std::string& message)
{
    std::string reason;
    if (options.recipe) {
        LoadDefaultSettings();
    } else if (!options.settingsFile) {
        LoadSettings();
    } else if (!LoadSettingsInput(options.settingsFile, reason)) {
        message = std::string("cannot read the settings file ") + options.settingsFile + ": " + reason;
        return false;
    }
    for (const Setting& s : options.sets) StoreSetting(s);
    return true;
}

static void PrintLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
}

// Sizes and counts no render can work with, whichever input gave them.
static bool CheckSizes(std::string& message)
{
    const Settings& s = app.settings;
    if (s.Width < 1 || s.Height < 1) {
        message = "Width and Height must be at least 1 pixel, not " + std::to_string(s.Width) + " x " +
                  std::to_string(s.Height);
        return false;
    }
    if (s.SamplePoints < 0) {
        message = "SamplePoints cannot be negative: " + std::to_string(s.SamplePoints);
        return false;
    }
    return true;
}

// The folder of an image name: what comes before its last separator.
static std::string FolderOf(const std::string& file)
{
    size_t cut = file.find_last_of('/');
#ifdef _WIN32
    const size_t back = file.find_last_of("\\:");
    if (back != std::string::npos && (cut == std::string::npos || back > cut)) cut = back;
#endif
    if (cut == std::string::npos) return ".";
    return cut == 0 ? file.substr(0, 1) : file.substr(0, cut + (file[cut] == ':' ? 1 : 0));
}

// Whether file can be written, asked before anything is rendered: a folder
// is no image, and a new file needs a folder that exists and takes files.
static bool CheckOutputName(const char* file, std::string& reason)
{
    if (std::strcmp(file, "-") == 0) return true;
    struct stat info;
    if (stat(file, &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            reason = std::strerror(EISDIR);
            return false;
        }
        // Pipes and devices are written into, not replaced.
        if (!S_ISREG(info.st_mode)) return true;
    }
    const std::string folder = FolderOf(file);
    if (stat(folder.c_str(), &info) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        reason = std::strerror(ENOTDIR);
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        reason = std::string("the folder ") + folder + " cannot be written: " + std::strerror(errno);
        return false;
    }
    return true;
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
// Each chained run starts from cleared images.
static bool clearRuns = false;
// What every PNG written carries.
static Recipe recipe;

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
        if (!WriteImageFile(ResultImage(), name.c_str(), error, RecipeTexts(recipe, done))) {
            frameFailure = "cannot write the frame " + name + ": " + error;
            last = true;
        }
    }
    std::string deepError;
    if (frameFailure.empty() && !WriteDeepFrame(done, deepError)) {
        frameFailure = deepError;
        last = true;
    }
    SignalTestPoint("run" + std::to_string(done));
    if (last) {
        app.continuous = false;
        app.quitRequested = true;
    } else if (clearRuns) {
        // As the Clear command: both images zeroed, the outline drawn again.
        ClearImages();
    }
}

// Progress on standard error until finished: on a terminal one line redrawn
// four times a second, otherwise a plain line every 10 s and one at the end,
// so that a log says how the render finished. The pass count is
// noted every 100 ms, so that the time left is paced from the recent passes.
// The start and the pass count before the first pass are taken by the
// caller: a short render may be over before this thread first runs.
using ProgressClock = std::chrono::steady_clock;
static void ShowProgress(const Relaxed<bool>& finished, bool terminal, ProgressClock::time_point start,
                         uint32_t firstCount)
{
    using Clock = ProgressClock;
    // Iterations + 2 passes a run; none for a negative Iterations below -2.
    const int64_t perRun = static_cast<int64_t>(app.settings.Iterations) + 2;
    const uint64_t total = static_cast<uint64_t>(perRun > 0 ? perRun : 0) * runsWanted;
    const int pauses = terminal ? 25 : 1000;  // of 10 ms
    size_t shown = 0;                         // length of the line on screen
    // The moments seen since the first pass, every 100 ms at most.
    ProgressHistory history;
    const auto now = [&]() {
        const uint64_t passes = static_cast<uint32_t>(WorkerPassCount() - firstCount);
        const uint64_t ms = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        return ProgressPoint{passes, ms};
    };
    const auto record = [&](ProgressPoint p) {
        if (p.done > 0 && (history.points.empty() || p.elapsedMs >= history.points.back().elapsedMs + 100))
            RecordProgress(history, p);
    };
    for (;;) {
        for (int k = 0; k < pauses && !finished; ++k) {
            SleepMilliseconds(10);
            if (k % 10 == 9) record(now());
        }
        const bool last = finished;
        const ProgressPoint point = now();
        record(point);
        const uint32_t ended = runsDone;
        const uint32_t run = ended < runsWanted ? ended + 1u : runsWanted;
        const ProgressPoint first = history.points.empty() ? point : history.points.front();
        const std::string text =
            ProgressText(first, PaceOver(history, point), point, total, run, runsWanted);
        if (terminal) {
            // Spaces wipe what is left of a longer line before.
            const size_t wipe = shown > text.size() ? shown - text.size() : 0;
            std::fprintf(stderr, "\r%s%*s%s", text.c_str(), static_cast<int>(wipe), "", last ? "\n" : "");
            shown = text.size();
        } else {
            std::fprintf(stderr, "halovane-render: %s\n", text.c_str());
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
    KeepWorkOnSignal();

    Relaxed<bool> finished{false};
    std::thread display;
    // Without a thread for it (no memory for its stack) the render runs unseen.
    try {
        if (progress)
            display = std::thread(ShowProgress, std::cref(finished), terminal, ProgressClock::now(), WorkerPassCount());
    } catch (const std::system_error&) {
    }
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

// A usage mistake: one line, exit code 2.
static int Usage(const std::string& reason)
{
    std::fprintf(stderr, "halovane-render: %s (try --help)\n", reason.c_str());
    return exitUsage;
}

int main(int argc, char** argv)
{
    GuardStandardFiles();
    StartSignalWatch();
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
    if (options.recipe && !ReadRecipe(options.recipe, options, reason))
        return Usage(std::string("cannot read the recipe of ") + options.recipe + ": " + reason);
    if (!CheckDeepOptions(options.deep, options.haveRegion, reason)) return Usage(reason);
    if (!ApplySettings(options, reason)) return Usage(reason);
    recipe = TakeRecipe(options);

    if (options.printSettings || options.saveSettings) {
        if (options.printSettings) PrintLines(options.recipe ? RecipeListing(recipe, options.recipeFrame)
                                                            : recipe.settingsLines);
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

    if (!CheckSizes(reason)) return Usage(reason);
    // A render may take hours: a name that cannot be written is found first.
    const std::string firstFrame = options.frames ? FrameName(options.framePattern, 1) : "";
    if (!CheckOutputName(options.output, reason)) {
        std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", options.output, reason.c_str());
        return exitOutput;
    }
    if (options.frames && !CheckOutputName(firstFrame.c_str(), reason)) {
        std::fprintf(stderr, "halovane-render: cannot write the frame %s: %s\n", firstFrame.c_str(),
                     reason.c_str());
        return exitOutput;
    }
    for (const char* deepFile : {options.deep.png, options.deep.pfm}) {
        if (deepFile && !CheckOutputName(deepFile, reason)) {
            std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", deepFile, reason.c_str());
            return exitOutput;
        }
    }
    const std::string firstDeepFrame = DeepFrameName(1);
    if (!firstDeepFrame.empty() && !CheckOutputName(firstDeepFrame.c_str(), reason)) {
        std::fprintf(stderr, "halovane-render: cannot write the deep frame %s: %s\n", firstDeepFrame.c_str(),
                     reason.c_str());
        return exitOutput;
    }

    RenderPath path = BestRenderPath();
    RenderPathFromName(options.path, path);
    SetRenderPath(path);
    SetRenderThreads(static_cast<int32_t>(options.threads));

    if (!AllocBlocks() || !PrepareDeepImage(options.deep, recipe)) return exitMemory;
    ClearImages();
    PlaceStartPoint(options);
    PlaceRegion(options);

    // A frame's recipe renders the runs up to that frame.
    runsWanted = options.recipeFrame > 0 ? options.recipeFrame : options.runs;
    regionOutput = options.haveRegion;
    clearRuns = options.clearRuns;
    if (options.frames) frames = &options.framePattern;
    if (runsWanted > 0) RenderRuns(!options.quiet, isatty(STDERR_FILENO) != 0);
    if (!frameFailure.empty()) {
        std::fprintf(stderr, "halovane-render: %s\n", frameFailure.c_str());
        return exitOutput;
    }

    std::string error;
    if (!WriteImageFile(ResultImage(), options.output, error, RecipeTexts(recipe, options.recipeFrame))) {
        std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", options.output,
                     error.c_str());
        return exitOutput;
    }
    if (!WriteDeepOutputs(error)) {
        std::fprintf(stderr, "halovane-render: %s\n", error.c_str());
        return exitOutput;
    }
    ReleaseBlocks();
    if (const int signal = StopSignal()) {
        std::fprintf(stderr, "halovane-render: stopped by %s after %u of %u runs; the image so far is in %s\n",
                     SignalName(signal), static_cast<uint32_t>(runsDone), runsWanted, options.output);
        return 128 + signal;
    }
    return exitDone;
}
