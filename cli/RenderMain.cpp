// halovane-render: the window program's engine without a window. It loads
// the settings, makes the gestures the options name (start point, region),
// lets the render worker perform the runs and writes the image.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "render/FastPass.h"
#include "render/Image.h"
#include "render/Outline.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "settings/RealText.h"
#include "settings/SettingsFile.h"
#include "ui/Input.h"

static const char* const usageText =
    "usage: halovane-render [options]\n"
    "  --settings FILE       read the settings from FILE (default: Halovane.ini\n"
    "                        beside the executable)\n"
    "  --set KEY=VALUE       override one setting after loading (repeatable)\n"
    "  --start X,Y           start point (default: the settings' X, Y)\n"
    "  --snap                pull the start point onto the set border\n"
    "  --region CX,CY,W      region mode over the square centred at (CX, CY)\n"
    "                        with side W (default: view mode, 512 x 512)\n"
    "  --runs N              N runs chained as in continuous mode (default 1)\n"
    "  -o, --output FILE     the bitmap written at the end (default output.bmp)\n"
    "  --print-settings      print the effective settings file lines, then exit\n"
    "  --save-settings FILE  save the effective settings into FILE, then exit\n"
    "  --threads N           threads that share the passes (default: every\n"
    "                        processor)\n"
    "  --path NAME           reference (the plain passes), sse2, avx2 or best\n"
    "                        (default); a path the processor lacks gives best\n"
    "  --quiet               no progress output\n"
    "  --help                show this text\n";

enum ExitCode { exitDone = 0, exitUsage = 2, exitMemory = 3, exitOutput = 4 };

struct Setting {
    std::string key;
    std::string value;
};

struct Options {
    const char* settingsFile = nullptr;
    std::vector<Setting> sets;
    bool haveStart = false;
    double startRe = 0.0;
    double startIm = 0.0;
    bool snap = false;
    bool haveRegion = false;
    double regionRe = 0.0;
    double regionIm = 0.0;
    double regionSide = 0.0;
    uint32_t runs = 1;
    const char* output = "output.bmp";
    bool printSettings = false;
    const char* saveSettings = nullptr;
    bool quiet = false;
    bool help = false;
    uint32_t threads = 0;  // 0: every processor
    const char* path = "best";
};

// --- Command line ---------------------------------------------------------------

// True when text is one whole real number in the classic grammar: blanks,
// sign, digits, point, digits, exponent, and nothing after it.
static bool IsReal(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponentDigits = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    return i == n;
}

// Splits "a,b,..." into exactly count reals.
static bool ParseReals(const char* text, double* values, size_t count)
{
    std::string rest = text;
    for (size_t k = 0; k < count; ++k) {
        const size_t comma = rest.find(',');
        const bool last = k + 1 == count;
        if (last != (comma == std::string::npos)) return false;
        const std::string field = last ? rest : rest.substr(0, comma);
        if (!IsReal(field)) return false;
        values[k] = TextToDouble(field.c_str());
        if (!last) rest = rest.substr(comma + 1);
    }
    return true;
}

static bool ParseCount(const char* text, uint32_t& value)
{
    if (!*text) return false;
    uint64_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

static bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// Reads argv into options. False with a one-line reason for a bad line.
static bool ParseCommandLine(int argc, char** argv, Options& options, std::string& reason)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        const char* value = nullptr;
        // "--name=value" as well as "--name value"
        const size_t equals = name.find('=');
        if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = argv[i] + equals + 1;
            name = name.substr(0, equals);
        }
        const bool takesValue = name == "--settings" || name == "--set" || name == "--start" ||
                                name == "--region" || name == "--runs" || name == "-o" ||
                                name == "--output" || name == "--save-settings" ||
                                name == "--threads" || name == "--path";
        if (takesValue && !value) {
            if (i + 1 >= argc) return Fail(reason, "missing value after " + name);
            value = argv[++i];
        } else if (!takesValue && value) {
            return Fail(reason, name + " takes no value");
        }

        if (name == "--settings") {
            options.settingsFile = value;
        } else if (name == "--set") {
            const char* eq = std::strchr(value, '=');
            if (!eq || eq == value) return Fail(reason, std::string("--set needs KEY=VALUE: ") + value);
            options.sets.push_back({std::string(value, eq), std::string(eq + 1)});
        } else if (name == "--start") {
            double v[2];
            if (!ParseReals(value, v, 2))
                return Fail(reason, std::string("--start needs two numbers X,Y: ") + value);
            options.haveStart = true;
            options.startRe = v[0];
            options.startIm = v[1];
        } else if (name == "--snap") {
            options.snap = true;
        } else if (name == "--region") {
            double v[3];
            if (!ParseReals(value, v, 3))
                return Fail(reason, std::string("--region needs three numbers CX,CY,W: ") + value);
            options.haveRegion = true;
            options.regionRe = v[0];
            options.regionIm = v[1];
            options.regionSide = v[2];
        } else if (name == "--runs") {
            if (!ParseCount(value, options.runs))
                return Fail(reason, std::string("--runs needs a whole number: ") + value);
        } else if (name == "-o" || name == "--output") {
            if (!*value) return Fail(reason, "empty output file name");
            options.output = value;
        } else if (name == "--print-settings") {
            options.printSettings = true;
        } else if (name == "--save-settings") {
            if (!*value) return Fail(reason, "empty settings file name");
            options.saveSettings = value;
        } else if (name == "--threads") {
            if (!ParseCount(value, options.threads) || options.threads == 0 || options.threads > 256)
                return Fail(reason, std::string("--threads needs a count from 1 to 256: ") + value);
        } else if (name == "--path") {
            RenderPath path;
            if (std::strcmp(value, "best") != 0 && !RenderPathFromName(value, path))
                return Fail(reason, std::string("--path needs reference, sse2, avx2 or best: ") + value);
            options.path = value;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            return Fail(reason, "unknown option " + name);
        }
    }
    return true;
}

// --- Settings -------------------------------------------------------------------

static bool ApplySettings(const Options& options, std::string& reason)
{
    if (options.settingsFile)
        LoadSettingsFrom(options.settingsFile);
    else
        LoadSettings();
    for (const Setting& s : options.sets)
        if (!SetSettingFromText(s.key.c_str(), s.value.c_str()))
            return Fail(reason, "unknown setting " + s.key);
    return true;
}

static void PrintSettings()
{
    std::vector<std::string> lines;
    SettingsFileLines(lines);
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
}

// --- Rendering ------------------------------------------------------------------

// Run ends seen so far and the run count asked for; the repaint that ends
// each run drives the chain, as the window would see it.
static Relaxed<uint32_t> runsDone;
static uint32_t runsWanted = 1;

static void OnRunEnd(const ClientRect&)
{
    const uint32_t done = runsDone + 1u;
    runsDone = done;
    // Decided before the last run ends, so exactly runsWanted runs happen.
    if (done + 1 >= runsWanted) app.continuous = false;
    if (done >= runsWanted) app.quitRequested = true;
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
    static const PlatformObserver observer = {nullptr, OnRunEnd, nullptr};
    SetPlatformObserver(&observer);
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
    SetPlatformObserver(nullptr);
}

static bool AllocateImages()
{
    InitBitmapHeaders();
    return AllocViewImage() && AllocOutputImage() && AllocSamples();
}

// The right click's part: the start point, snapped on request, marked red.
static void PlaceStartPoint(const Options& options)
{
    if (options.haveStart) {
        app.settings.X = static_cast<float>(options.startRe);
        app.settings.Y = static_cast<float>(options.startIm);
    }
    if (options.snap) {
        const PlanePoint p = SnappedStartPoint(PlanePoint{app.settings.X, app.settings.Y});
        app.settings.X = p.re;
        app.settings.Y = p.im;
    }
    if (options.haveStart) {
        const PixelPoint at = PlaneToViewPixel(PlanePoint{app.settings.X, app.settings.Y});
        SetViewPixel(at.col, at.row, Colour3{0, 0, 255});
    }
}

// The left drag's part: the region and region mode.
static void SelectRegion(const Options& options)
{
    if (!options.haveRegion) return;
    app.regionCenterRe = static_cast<float>(options.regionRe);
    app.regionCenterIm = static_cast<float>(options.regionIm);
    app.regionWidth = static_cast<float>(options.regionSide);
    app.regionReciprocal = static_cast<float>(1.0 / options.regionSide);
    app.regionMode = true;
}

static int Usage(const std::string& reason)
{
    std::fprintf(stderr, "halovane-render: %s\n%s", reason.c_str(), usageText);
    return exitUsage;
}

int main(int argc, char** argv)
{
    Options options;
    std::string reason;
    if (!ParseCommandLine(argc, argv, options, reason)) return Usage(reason);
    if (options.help) {
        std::fputs(usageText, stdout);
        return exitDone;
    }
    if (!ApplySettings(options, reason)) return Usage(reason);

    if (options.printSettings || options.saveSettings) {
        if (options.printSettings) PrintSettings();
        if (options.saveSettings) {
            errno = 0;
            if (!SaveSettingsTo(options.saveSettings)) {
                std::fprintf(stderr, "halovane-render: cannot write the settings file %s: %s\n",
                             options.saveSettings,
                             errno ? std::strerror(errno) : "the write failed");
                return exitOutput;
            }
        }
        return exitDone;
    }

    RenderPath path = BestRenderPath();
    RenderPathFromName(options.path, path);
    SetRenderPath(path);
    SetRenderThreads(static_cast<int32_t>(options.threads));

    if (!AllocateImages()) return exitMemory;
    ClearImages();
    PlaceStartPoint(options);
    SelectRegion(options);

    runsWanted = options.runs;
    if (runsWanted > 0) RenderRuns(!options.quiet && isatty(STDERR_FILENO));

    std::string error;
    const bool written = options.haveRegion ? WriteBitmap(options.output, error)
                                            : WriteImageBitmap(app.viewImage, options.output, error);
    if (!written) {
        std::fprintf(stderr, "halovane-render: cannot write %s: %s\n", options.output,
                     error.c_str());
        return exitOutput;
    }
    ReleaseImages();
    ReleaseSamples();
    return exitDone;
}
