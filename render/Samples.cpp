#include "render/Samples.h"

#include <cmath>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Distance.h"
#include "render/Draws.h"
#include "render/Image.h"

static void FreeArrays(SampleSet& s)
{
    delete[] s.z;
    delete[] s.c;
    delete[] s.colour;
    s.z = nullptr;
    s.c = nullptr;
    s.colour = nullptr;
    s.count = 0;
}

// count x elementBytes within the same INT32_MAX ceiling as the images.
static bool ArrayBytesFit(int32_t count, int32_t elementBytes)
{
    return count >= 0 && static_cast<int64_t>(count) * elementBytes <= INT32_MAX;
}

static uint8_t LowByte(int32_t value) { return static_cast<uint8_t>(static_cast<uint32_t>(value)); }

static void FillColours(SampleSet& s, int32_t brightness)
{
    // 3 x B wraps as in 32-bit arithmetic; the division truncates toward zero.
    const int32_t k = static_cast<int32_t>(static_cast<uint32_t>(brightness) * 3u) / 4;
    for (int32_t i = 0; i < s.count; ++i) {
        const double angle = i * 0.1;
        s.colour[i].red = LowByte(FloatToInt(k * (std::sin(angle) + 1.0)));
        s.colour[i].green = LowByte(FloatToInt(k * (std::cos(angle) + 1.0)));
        s.colour[i].blue = LowByte(brightness);
    }
}

bool AllocSamples()
{
    bool ok;
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        SampleSet& s = app.samples;
        FreeArrays(s);
        const int32_t count = app.settings.SamplePoints;
        ok = ArrayBytesFit(count, 8) && ArrayBytesFit(count, 3);
        if (ok) {
            // Value-initialised, so a pass before the first seeding reads zeros.
            s.z = new (std::nothrow) PlanePoint[count]();
            s.c = new (std::nothrow) PlanePoint[count]();
            s.colour = new (std::nothrow) Colour3[count]();
            ok = s.z && s.c && s.colour;
        }
        // A partial set would have a count that some array cannot back, so
        // a failure keeps none of it.
        if (ok) {
            s.count = count;
            FillColours(s, app.settings.Brightness);
        } else {
            FreeArrays(s);
        }
    }
    // The box waits for the user, so it is shown with the lock released.
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller sample size.");
    return ok;
}

// Called at shutdown after the worker has gone. No lock: a terminated worker
// may have died holding it.
void ReleaseSamples() { FreeArrays(app.samples); }

static thread_local uint32_t randomState = 1;

int32_t NextRandom()
{
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFFu);
}

void ResetRandom() { randomState = 1; }

uint32_t RandomState() { return randomState; }

void SetRandomState(uint32_t state) { randomState = state; }

uint32_t RandomStateAfter(uint32_t state, uint64_t draws)
{
    // x -> a x + c applied 2^k times is x -> A x + C, with A and C squared up
    // from a and c (all mod 2^32).
    uint32_t a = 214013u;
    uint32_t c = 2531011u;
    for (; draws != 0; draws >>= 1) {
        if (draws & 1u) state = state * a + c;
        c = c * (a + 1u);
        a = a * a;
    }
    return state;
}

void SeedPosition(SampleSet& samples, int32_t i)
{
    PlanePoint z = {app.settings.X, app.settings.Y};
    // The angle is drawn before the radius.
    const float angle = AngleFromDraw(NextRandom());
    const double u = UnitFromDraw(NextRandom());
    const double radius = static_cast<double>(app.settings.SampleRadius) * u * u;
    z.re = static_cast<float>(z.re + radius * std::cos(static_cast<double>(angle)));
    z.im = static_cast<float>(z.im + radius * std::sin(static_cast<double>(angle)));
    if (app.settings.BorderOnly) SnapToBorder(z);
    samples.z[i] = z;
}

void DriftStartPoint()
{
    Settings& s = app.settings;
    s.X = static_cast<float>(static_cast<double>(s.X) + static_cast<double>(s.DriftX));
    s.Y = static_cast<float>(static_cast<double>(s.Y) + static_cast<double>(s.DriftY));
}

bool SeedSamples()
{
    for (int32_t i = 0;; ++i) {
        {
            // One sample per hold, so the window thread can replace the
            // arrays between samples; the count is that of the arrays held.
            std::lock_guard<std::mutex> hold(app.blocksLock);
            SampleSet& s = app.samples;
            if (i >= s.count) break;
            SeedPosition(s, i);
            // Julia runs share the first sample's position as their constant
            // (a reseed in a pass takes c[0] instead; see RegionPass).
            s.c[i] = app.settings.Julia ? s.z[0] : s.z[i];
        }
        // A stop leaves the remaining samples as they were.
        if (!app.running) return false;
    }
    return app.running;
}
