#pragma once
// Fast seeding and reseeding: every draw made first, in sample order, by the
// calling thread; then the snaps, which draw nothing, shared out. A pass's
// snapped reseeds are walked ahead of need.
#include <cstdint>

#include "base/SharedTypes.h"
#include "render/fast/FastEstimate.h"

// What the draws, snaps and placements read, taken once per pass or seeding
// chunk.
struct SeedConstants {
    float x;          // X, Y: the start point
    float y;
    float radius;     // SampleRadius
    bool borderOnly;  // BorderOnly
    bool julia;       // Julia
    SnapConstants snap;
};

SeedConstants ReadSeedConstants();

// Reseeds samples indices[0 .. count - 1] (ascending) as the plain pass
// does one by one: position, snap when borderOnly, constant. Called once
// per pass, with no reseeds too: the passes' reseed rate sets how far
// ahead the snapped positions are walked. Without snaps no helper thread
// is used.
void ReseedSamples(SampleSet& samples, const int32_t* indices, int32_t count, const SeedConstants& k,
                   int32_t threads);

// The reseeds of a pass without snaps, placed a stretch at a time by any
// thread: PlaceReseeds draws from the calling thread's generator, which the
// caller sets to the state the reseeds before the stretch leave; the worker
// calls NoteReseeds once with the pass's count. julia0 is c[0] as the pass
// began (a Julia reseed's constant).
void NoteReseeds(int32_t count);
void PlaceReseeds(SampleSet& samples, const int32_t* indices, int32_t count, const SeedConstants& k,
                  PlanePoint julia0);

// Seeds every sample of a run's arrays (the loop of SeedSamples). False
// when a stop arrived: the samples seeded so far are kept, the rest are
// untouched and the generator stands after the last sample kept.
bool SeedPositionsFast();

// Forgets the positions walked ahead (a new run draws from elsewhere).
void DiscardWalkedAhead();

// Whether the helpers are walking coming reseeds in the background; a pass
// then leaves them to it and runs on the worker alone.
bool ReseedsWalkingInBackground();

// The passes left in the run, this one included, as the worker counts
// them; 0 or less when unknown. Walking ahead stops at the run's end.
void SetPassesLeft(int64_t passes);
