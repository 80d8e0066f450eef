#include "render/fast/FastSeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/AppState.h"
#include "render/Draws.h"
#include "render/RenderPath.h"
#include "render/Samples.h"

SeedConstants ReadSeedConstants()
{
    const Settings& s = app.settings;
    return {s.X, s.Y, s.SampleRadius, s.BorderOnly, s.Julia, ReadSnapConstants()};
}

// --- Jittered positions -----------------------------------------------------------

// The angle depends on the first draw alone: cos and sin of each of the
// 32768 angles, from the same calls the plain seeding makes.
static double angleCos[32768];
static double angleSin[32768];
static std::once_flag anglesFilled;

static void FillAngles()
{
    for (int32_t r = 0; r < 32768; ++r) {
        const float angle = AngleFromDraw(r);
        angleCos[r] = std::cos(static_cast<double>(angle));
        angleSin[r] = std::sin(static_cast<double>(angle));
    }
}

// Two draws, angle first, as SeedPosition before its snap.
static PlanePoint DrawPosition(const SeedConstants& k)
{
    const int32_t r1 = NextRandom();
    const double u = UnitFromDraw(NextRandom());
    const double radius = static_cast<double>(k.radius) * u * u;
    PlanePoint z;
    z.re = static_cast<float>(k.x + radius * angleCos[r1]);
    z.im = static_cast<float>(k.y + radius * angleSin[r1]);
    return z;
}

// --- Reseeds walked ahead ---------------------------------------------------------

// Every reseed takes exactly two draws and nothing else draws during a run,
// so the n-th coming reseed's snapped position depends only on the
// generator's state before its draws and on the values tagged here, not on
// the sample that will take it. The positions are walked ahead, many side by
// side, and a pass takes them in order while the state and the tag match
// what it would draw with; anything else discards them.
struct AheadTag {
    float x, y, radius;
    int32_t iterations;
    float borderDistance;
};

static AheadTag TagOf(const SeedConstants& k)
{
    return {k.x, k.y, k.radius, k.snap.iterations, k.snap.borderDistance};
}

// Compared bit for bit: a tag holds no padding.
static bool SameTag(const AheadTag& a, const AheadTag& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Passes' worth of reseeds walked at once, without and with the passes left
// known, and the most walks in one window. Each window ends with its
// longest walks alone, so longer windows keep threads and lanes busier.
constexpr int64_t kAheadPasses = 64;
constexpr int64_t kAheadPassesInRun = 512;
constexpr int64_t kMaxAhead = 4096;

static int64_t passesLeft = 0;  // only the worker reseeds

void SetPassesLeft(int64_t passes) { passesLeft = passes; }

// Only the worker reseeds.
static struct {
    AheadTag tag;
    std::vector<PlanePoint> points;
    // The generator's state before each position's draws, then after the last.
    std::vector<uint32_t> stateBefore;
    size_t next = 0;  // the first position not taken
    // Since the last window was walked: passes and reseeds taken.
    int64_t passes = 0;
    int64_t taken = 0;
} ahead;

void DiscardWalkedAhead()
{
    ahead.points.clear();
    ahead.stateBefore.clear();
    ahead.next = 0;
}

// The positions left that this pass may take: none unless the generator
// stands where the next one was drawn from and the values are those it used.
static size_t AheadLeft(const SeedConstants& k)
{
    if (ahead.next >= ahead.points.size() || !SameTag(ahead.tag, TagOf(k)) ||
        ahead.stateBefore[ahead.next] != RandomState()) {
        DiscardWalkedAhead();
        return 0;
    }
    return ahead.points.size() - ahead.next;
}

// Walks a new window after what is left: as many positions as the recent
// passes' rate asks for over the next kAheadPasses passes, and at least the
// need. The generator is left where the plain reseeds would have it.
static void WalkAhead(int32_t need, const SeedConstants& k, int32_t threads)
{
    const uint32_t now = RandomState();
    const size_t left = ahead.points.size() - ahead.next;  // drawn from now on
    ahead.points.erase(ahead.points.begin(), ahead.points.begin() + static_cast<std::ptrdiff_t>(ahead.next));
    ahead.stateBefore.erase(ahead.stateBefore.begin(),
                            ahead.stateBefore.begin() + static_cast<std::ptrdiff_t>(ahead.next));
    ahead.next = 0;
    const int64_t horizon = passesLeft > 0 ? std::min(passesLeft, kAheadPassesInRun) : kAheadPasses;
    const int64_t expected = ahead.passes > 0 ? (ahead.taken * horizon + ahead.passes - 1) / ahead.passes : 0;
    const int32_t window = static_cast<int32_t>(std::max<int64_t>(need, std::min(expected, kMaxAhead)));
    const int32_t fresh = window - static_cast<int32_t>(left);
    if (ahead.stateBefore.empty()) ahead.stateBefore.push_back(now);
    SetRandomState(ahead.stateBefore.back());
    ahead.tag = TagOf(k);
    for (int32_t j = 0; j < fresh; ++j) {
        ahead.points.push_back(DrawPosition(k));
        ahead.stateBefore.push_back(RandomState());
    }
    SnapAll(ahead.points.data() + left, nullptr, fresh, k.snap, threads);
    SetRandomState(now);
    ahead.passes = 0;
    ahead.taken = 0;
}

void ReseedSamples(SampleSet& s, const int32_t* indices, int32_t count, const SeedConstants& k, int32_t threads)
{
    ++ahead.passes;
    if (count <= 0) return;
    std::call_once(anglesFilled, FillAngles);
    if (!k.borderOnly) {
        for (int32_t j = 0; j < count; ++j) {
            const int32_t i = indices[j];
            s.z[i] = DrawPosition(k);
            s.c[i] = k.julia ? s.c[0] : s.z[i];
        }
        return;
    }
    if (AheadLeft(k) < static_cast<size_t>(count)) WalkAhead(count, k, threads);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t i = indices[j];
        s.z[i] = ahead.points[ahead.next + static_cast<size_t>(j)];
        s.c[i] = k.julia ? s.c[0] : s.z[i];
    }
    ahead.next += static_cast<size_t>(count);
    ahead.taken += count;
    SetRandomState(ahead.stateBefore[ahead.next]);
}

// --- Seeding ----------------------------------------------------------------------

// Samples drawn and snapped together; a stop is seen between snaps.
constexpr int32_t kSeedChunk = 4096;

static std::vector<PlanePoint> drawn;
static std::vector<uint32_t> stateBefore;
static std::vector<uint8_t> snapped;

bool SeedPositionsFast()
{
    DiscardWalkedAhead();
    std::call_once(anglesFilled, FillAngles);
    const int32_t threads = RenderThreads();
    for (int32_t start = 0;; start += kSeedChunk) {
        int32_t total;
        {
            std::lock_guard<std::mutex> hold(app.blocksLock);
            total = app.samples.count;
        }
        if (start >= total) return true;
        const int32_t n = std::min(kSeedChunk, total - start);
        const SeedConstants k = ReadSeedConstants();
        drawn.resize(static_cast<size_t>(n));
        stateBefore.resize(static_cast<size_t>(n));
        snapped.assign(static_cast<size_t>(n), 1);
        int32_t kept = n;
        for (int32_t j = 0; j < n; ++j) {
            stateBefore[j] = RandomState();
            drawn[j] = DrawPosition(k);
            // Without snaps a stop is seen after each sample, as the plain
            // seeding sees it.
            if (!k.borderOnly && !app.running) {
                kept = j + 1;
                break;
            }
        }
        if (k.borderOnly) {
            std::fill(snapped.begin(), snapped.end(), 0);
            SnapAll(drawn.data(), snapped.data(), n, k.snap, threads);
            kept = static_cast<int32_t>(std::find(snapped.begin(), snapped.end(), 0) - snapped.begin());
        }
        {
            std::lock_guard<std::mutex> hold(app.blocksLock);
            SampleSet& s = app.samples;
            for (int32_t j = 0; j < kept && start + j < s.count; ++j) {
                const int32_t i = start + j;
                s.z[i] = drawn[j];
                s.c[i] = k.julia ? s.z[0] : s.z[i];
            }
        }
        if (kept < n) {
            // As if the stop had come right after the last sample kept.
            if (k.borderOnly) SetRandomState(stateBefore[kept]);
            return false;
        }
        if (!app.running) return false;
    }
}
