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

// The reseeds walked ahead cover the recent reseed rate times this many
// passes (the passes left in the run, at most kAheadPassesInRun, when the
// worker tells them), and at most kMaxAhead positions. Each window ends with
// its longest walks alone, so long windows keep threads and lanes busy.
constexpr int64_t kAheadPasses = 64;
constexpr int64_t kAheadPassesInRun = 512;
constexpr int64_t kMaxAhead = 4096;
// The rate is measured over this many passes.
constexpr int64_t kRatePasses = 16;
// Fewer positions than this are not worth walking in the background.
constexpr int64_t kFewest = 8;

// Positions in the order they are taken; the generator's state before each
// one's draws, then after the last.
struct Window {
    AheadTag tag;
    std::vector<PlanePoint> points;
    std::vector<uint32_t> stateBefore;
    size_t next = 0;  // the first position not taken
};

// Only the worker reseeds. ready is taken from; coming continues it (its
// first position is drawn where ready's last one leaves the generator) and
// is walked on the helper threads while the passes go on.
static Window ready, coming;
static bool comingWalking = false;
static int64_t passesLeft = 0;
static double reseedRate = 0.0;  // reseeds per pass, measured
static int64_t ratePasses = 0, rateTaken = 0;

void SetPassesLeft(int64_t passes) { passesLeft = passes; }

static void Clear(Window& w)
{
    w.points.clear();
    w.stateBefore.clear();
    w.next = 0;
}

static size_t Left(const Window& w) { return w.points.size() - w.next; }

static void DiscardComing()
{
    if (comingWalking) CancelBackgroundSnaps();
    comingWalking = false;
    Clear(coming);
}

void DiscardWalkedAhead()
{
    DiscardComing();
    Clear(ready);
}

bool ReseedsWalkingInBackground() { return comingWalking && BackgroundSnapsBusy(); }

// Where the generator stands after ready's last position.
static uint32_t ReadyEnd(uint32_t now) { return ready.stateBefore.empty() ? now : ready.stateBefore.back(); }

// Draws count positions into w from the generator state start, tagged with
// k, and puts the generator back.
static void DrawWindow(Window& w, uint32_t start, int64_t count, const SeedConstants& k)
{
    const uint32_t now = RandomState();
    w.tag = TagOf(k);
    if (w.stateBefore.empty()) w.stateBefore.push_back(start);
    SetRandomState(start);
    for (int64_t j = 0; j < count; ++j) {
        w.points.push_back(DrawPosition(k));
        w.stateBefore.push_back(RandomState());
    }
    SetRandomState(now);
}

// Reseeds expected over the coming passes beyond those ready.
static int64_t Wanted(size_t left)
{
    const int64_t horizon = passesLeft > 0 ? std::min(passesLeft, kAheadPassesInRun) : kAheadPasses;
    const int64_t want = std::min(kMaxAhead, static_cast<int64_t>(reseedRate * static_cast<double>(horizon)));
    return want - static_cast<int64_t>(left);
}

// Walks, now and with every thread, what ready lacks for need positions and
// what the coming passes are expected to take.
static void WalkNow(int32_t need, const SeedConstants& k, int32_t threads)
{
    const uint32_t start = ReadyEnd(RandomState());
    const size_t left = Left(ready);
    ready.points.erase(ready.points.begin(), ready.points.begin() + static_cast<std::ptrdiff_t>(ready.next));
    ready.stateBefore.erase(ready.stateBefore.begin(),
                            ready.stateBefore.begin() + static_cast<std::ptrdiff_t>(ready.next));
    ready.next = 0;
    const int64_t fresh = std::max<int64_t>(need - static_cast<int64_t>(left), Wanted(left));
    DrawWindow(ready, start, fresh, k);
    SnapAll(ready.points.data() + left, nullptr, static_cast<int32_t>(fresh), k.snap, threads);
}

// Starts walking the positions after ready on the helpers, as many as the
// passes after those ready covers are expected to take, up to the run's end.
static void WalkInBackground(const SeedConstants& k, int32_t threads)
{
    if (threads <= 1 || comingWalking || reseedRate <= 0.0) return;
    const size_t left = Left(ready);
    // The passes ready covers do not count again.
    const int64_t covered = static_cast<int64_t>(static_cast<double>(left) / reseedRate);
    const int64_t horizon = std::min(passesLeft > 0 ? passesLeft - 1 - covered : kAheadPasses, kAheadPassesInRun);
    if (horizon <= 0) return;
    const int64_t count = std::min(kMaxAhead, static_cast<int64_t>(reseedRate * static_cast<double>(horizon)));
    if (count < kFewest) return;
    Clear(coming);
    DrawWindow(coming, ReadyEnd(RandomState()), count, k);
    StartBackgroundSnaps(coming.points.data(), static_cast<int32_t>(count), k.snap, threads);
    comingWalking = true;
}

// Appends coming to ready when it continues ready with the values of k.
static void TakeComing(const AheadTag& tag, uint32_t now)
{
    if (!comingWalking) return;
    FinishBackgroundSnaps();
    comingWalking = false;
    if (SameTag(coming.tag, tag) && coming.stateBefore.front() == ReadyEnd(now)) {
        if (ready.stateBefore.empty()) ready.stateBefore.push_back(coming.stateBefore.front());
        ready.tag = coming.tag;
        ready.points.insert(ready.points.end(), coming.points.begin(), coming.points.end());
        ready.stateBefore.insert(ready.stateBefore.end(), coming.stateBefore.begin() + 1, coming.stateBefore.end());
    }
    Clear(coming);
}

static void MeasureRate(int32_t count)
{
    ++ratePasses;
    rateTaken += count;
    if (ratePasses < kRatePasses) return;
    reseedRate = static_cast<double>(rateTaken) / static_cast<double>(ratePasses);
    ratePasses = 0;
    rateTaken = 0;
}

// A Julia reseed keeps sample 0's constant, so every reseed of a pass
// reads c[0] as the pass began.
void PlaceReseeds(SampleSet& s, const int32_t* indices, int32_t count, const SeedConstants& k, PlanePoint julia0)
{
    if (count > 0) std::call_once(anglesFilled, FillAngles);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t i = indices[j];
        s.z[i] = DrawPosition(k);
        s.c[i] = k.julia ? julia0 : s.z[i];
    }
}

void NoteReseeds(int32_t count) { MeasureRate(count); }


void ReseedSamples(SampleSet& s, const int32_t* indices, int32_t count, const SeedConstants& k, int32_t threads)
{
    MeasureRate(count);
    if (count <= 0) return;
    std::call_once(anglesFilled, FillAngles);
    if (!k.borderOnly) {
        PlaceReseeds(s, indices, count, k, s.c[0]);
        return;
    }
    const uint32_t now = RandomState();
    const AheadTag tag = TagOf(k);
    // What is left may be taken only if the generator stands where its next
    // position was drawn from and the values are those it used.
    if (Left(ready) > 0 && (!SameTag(ready.tag, tag) || ready.stateBefore[ready.next] != now))
        DiscardWalkedAhead();
    if (Left(ready) == 0) Clear(ready);
    if (Left(ready) < static_cast<size_t>(count)) TakeComing(tag, now);
    if (Left(ready) < static_cast<size_t>(count)) WalkNow(count, k, threads);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t i = indices[j];
        s.z[i] = ready.points[ready.next + static_cast<size_t>(j)];
        s.c[i] = k.julia ? s.c[0] : s.z[i];
    }
    ready.next += static_cast<size_t>(count);
    SetRandomState(ready.stateBefore[ready.next]);
    WalkInBackground(k, threads);
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
