#include "render/fast/FastPass.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "app/AppState.h"
#include "render/Deep.h"
#include "render/OutputLayers.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/fast/FastSeed.h"
#include "render/fast/FastStep.h"
#include "render/fast/HelperThreads.h"
#include "render/fast/Kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// --- Splats -----------------------------------------------------------------------

// Flags in the high bits of a binned entry's sample index. Sample counts stay
// below 2^28 (8 bytes per sample within INT32_MAX).
constexpr uint32_t kSkipRowBelow = 1u << 31;  // row - 1 belongs to another band
constexpr uint32_t kSkipRowAbove = 1u << 30;  // row + 1 belongs to another band
constexpr uint32_t kQuarterOnly = 1u << 29;   // just the quarter colour at offset
constexpr uint32_t kSampleBits = (1u << 29) - 1;

struct SplatEntry {
    uint32_t offset;
    uint32_t sample;  // with the flags above
};

// Colour in the low three bytes, blue first, as the pixels hold it.
static uint32_t PackColour(Colour3 c)
{
    return static_cast<uint32_t>(c.blue) | static_cast<uint32_t>(c.green) << 8 |
           static_cast<uint32_t>(c.red) << 16;
}

// Saturating byte adds; the added bytes are never negative, so the order of
// the adds into a pixel does not change its final value.
#if defined(__SSE2__)
static inline void AddBytes8(uint8_t* p, uint64_t add)
{
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&add));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_adds_epu8(v, a));
}

static inline void AddBytes4(uint8_t* p, uint32_t add)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    v = _mm_cvtsi128_si32(_mm_adds_epu8(_mm_cvtsi32_si128(v), _mm_cvtsi32_si128(static_cast<int32_t>(add))));
    std::memcpy(p, &v, 4);
}

static inline void Prefetch(const uint8_t* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }
#else
static inline void AddBytesN(uint8_t* p, uint64_t add, int n)
{
    for (int i = 0; i < n; ++i) {
        const unsigned sum = p[i] + static_cast<unsigned>((add >> (8 * i)) & 0xFF);
        p[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}
static inline void AddBytes8(uint8_t* p, uint64_t add) { AddBytesN(p, add, 8); }
static inline void AddBytes4(uint8_t* p, uint32_t add) { AddBytesN(p, add, 4); }
static inline void Prefetch(const uint8_t*) {}
#endif

static inline void AddByte(uint8_t* p, uint32_t add)
{
    const uint32_t sum = *p + add;
    *p = static_cast<uint8_t>(sum > 255 ? 255 : sum);
}

// The centre row: left neighbour, centre and right neighbour in one 8-byte
// and one 1-byte add. The rows below and above: a 4-byte add whose fourth
// byte (the next pixel's blue, always inside the row) gets 0.
static inline uint64_t CentreRow(uint32_t colour, uint32_t quarter)
{
    return static_cast<uint64_t>(quarter) | static_cast<uint64_t>(colour) << 24 | static_cast<uint64_t>(quarter) << 48;
}

static inline void SplatCentreRow(uint8_t* centre, uint32_t colour, uint32_t quarter)
{
    AddBytes8(centre - 3, CentreRow(colour, quarter));
    AddByte(centre + 5, quarter >> 16);
}

static inline uint32_t QuarterOf(uint32_t colour) { return (colour >> 2) & 0x3F3F3Fu; }

// --- Deep splats ---
// The same adds, keeping in the deep image's excess what each byte's add
// could not fit: max(0, v + a - 255) = a - (255 - v) with unsigned
// saturation. Only a splat that clips somewhere touches the excess (one
// branch a splat); its words are added with a saturation at UINT32_MAX.
// Rows that belong to another band (below, above false) are not touched.
#if defined(__SSE2__)
// excess[0 .. 3] += the low four bytes of over; a wrapped word is below what it was.
static inline void AddExcessWords(uint32_t* excess, __m128i over)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i sign = _mm_set1_epi32(static_cast<int32_t>(0x80000000u));
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(excess));
    const __m128i sum = _mm_add_epi32(old, _mm_unpacklo_epi16(_mm_unpacklo_epi8(over, zero), zero));
    const __m128i wrapped = _mm_cmpgt_epi32(_mm_xor_si128(old, sign), _mm_xor_si128(sum, sign));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(excess), _mm_or_si128(sum, wrapped));
}

// Each byte's excess when a is added to v.
static inline __m128i AddKeeping(__m128i v, __m128i a)
{
    return _mm_subs_epu8(a, _mm_xor_si128(v, _mm_set1_epi8(-1)));
}

static inline __m128i Load4(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

static inline void Store4(uint8_t* p, __m128i v)
{
    const int32_t x = _mm_cvtsi128_si32(v);
    std::memcpy(p, &x, 4);
}

static inline void SplatDeep(uint8_t* pixels, uint32_t* excess, uint32_t rowBytes, uint32_t at, uint32_t colour,
                             uint32_t quarter, bool below, bool above)
{
    const __m128i zero = _mm_setzero_si128();
    const uint64_t rowAdd = CentreRow(colour, quarter);
    const __m128i q = _mm_cvtsi32_si128(static_cast<int32_t>(quarter));
    uint8_t* centre = pixels + at - 3;
    const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(centre));
    const __m128i a8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&rowAdd));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(centre), _mm_adds_epu8(v8, a8));
    const __m128i over8 = AddKeeping(v8, a8);
    const uint32_t right = pixels[at + 5] + (quarter >> 16);
    pixels[at + 5] = static_cast<uint8_t>(right > 255 ? 255 : right);
    __m128i overBelow = zero, overAbove = zero;
    if (below) {
        const __m128i v = Load4(pixels + at - rowBytes);
        Store4(pixels + at - rowBytes, _mm_adds_epu8(v, q));
        overBelow = AddKeeping(v, q);
    }
    if (above) {
        const __m128i v = Load4(pixels + at + rowBytes);
        Store4(pixels + at + rowBytes, _mm_adds_epu8(v, q));
        overAbove = AddKeeping(v, q);
    }
    // overBelow and overAbove hold four bytes; over8 eight.
    const __m128i any = _mm_or_si128(over8, _mm_unpacklo_epi32(_mm_or_si128(overBelow, overAbove), zero));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF && right <= 255) return;
    AddExcessWords(excess + at - 3, over8);
    AddExcessWords(excess + at + 1, _mm_srli_si128(over8, 4));
    if (right > 255) AddExcess(excess[at + 5], right - 255);
    if (below) AddExcessWords(excess + at - rowBytes, overBelow);
    if (above) AddExcessWords(excess + at + rowBytes, overAbove);
}

static inline void SplatDeepRow(uint8_t* pixels, uint32_t* excess, uint32_t at, uint32_t quarter)
{
    const __m128i q = _mm_cvtsi32_si128(static_cast<int32_t>(quarter));
    const __m128i v = Load4(pixels + at);
    Store4(pixels + at, _mm_adds_epu8(v, q));
    const __m128i over = AddKeeping(v, q);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) != 0xFFFF) AddExcessWords(excess + at, over);
}
#else
static inline void AddBytesKeeping(uint8_t* pixels, uint32_t* excess, uint32_t at, uint64_t add, int n)
{
    for (int i = 0; i < n; ++i)
        AddByteKeeping(pixels[at + i], excess[at + i], static_cast<uint32_t>((add >> (8 * i)) & 0xFF));
}

static inline void SplatDeep(uint8_t* pixels, uint32_t* excess, uint32_t rowBytes, uint32_t at, uint32_t colour,
                             uint32_t quarter, bool below, bool above)
{
    AddBytesKeeping(pixels, excess, at - 3, CentreRow(colour, quarter), 8);
    AddBytesKeeping(pixels, excess, at + 5, quarter >> 16, 1);
    if (below) AddBytesKeeping(pixels, excess, at - rowBytes, quarter, 4);
    if (above) AddBytesKeeping(pixels, excess, at + rowBytes, quarter, 4);
}

static inline void SplatDeepRow(uint8_t* pixels, uint32_t* excess, uint32_t at, uint32_t quarter)
{
    AddBytesKeeping(pixels, excess, at, quarter, 4);
}
#endif

constexpr int32_t kPrefetchAhead = 8;

static inline void PrefetchSplat(const uint8_t* pixels, uint32_t rowBytes, uint32_t at)
{
    const uint8_t* centre = pixels + at;
    Prefetch(centre - rowBytes);
    Prefetch(centre - 3);
    Prefetch(centre + rowBytes);
}

// The splats of one stepped block, on a single thread; with kDeep keeping
// what clips in the deep image's excess (a template, so the 8-bit splats
// test nothing more).
template <bool kDeep>
static void SplatBlock(uint8_t* pixels, uint32_t* excess, uint32_t rowBytes, const Colour3* colours,
                       const StepOutput& out)
{
    const int32_t n = out.count;
    for (int32_t j = 0; j < n; ++j) {
        if (j + kPrefetchAhead < n) PrefetchSplat(pixels, rowBytes, out.offsets[j + kPrefetchAhead]);
        const uint32_t at = out.offsets[j];
        const uint32_t colour = PackColour(colours[out.samples[j]]);
        const uint32_t quarter = QuarterOf(colour);
        if (kDeep) {
            SplatDeep(pixels, excess, rowBytes, at, colour, quarter, true, true);
            continue;
        }
        uint8_t* centre = pixels + at;
        SplatCentreRow(centre, colour, quarter);
        AddBytes4(centre - rowBytes, quarter);
        AddBytes4(centre + rowBytes, quarter);
    }
}

// The binned splats of one row band.
template <bool kDeep>
static void SplatEntries(uint8_t* pixels, uint32_t* excess, uint32_t rowBytes, const Colour3* colours,
                         const SplatEntry* entries, size_t n)
{
    for (size_t j = 0; j < n; ++j) {
        if (j + kPrefetchAhead < n) PrefetchSplat(pixels, rowBytes, entries[j + kPrefetchAhead].offset);
        const SplatEntry e = entries[j];
        const uint32_t colour = PackColour(colours[e.sample & kSampleBits]);
        const uint32_t quarter = QuarterOf(colour);
        const bool below = !(e.sample & kSkipRowBelow);
        const bool above = !(e.sample & kSkipRowAbove);
        uint8_t* centre = pixels + e.offset;
        if (e.sample & kQuarterOnly) {
            // One row of a splat centred in another band: a row of the
            // centre's band below or above.
            if (kDeep)
                SplatDeepRow(pixels, excess, e.offset, quarter);
            else
                AddBytes4(centre, quarter);
            continue;
        }
        if (kDeep) {
            SplatDeep(pixels, excess, rowBytes, e.offset, colour, quarter, below, above);
            continue;
        }
        SplatCentreRow(centre, colour, quarter);
        if (below) AddBytes4(centre - rowBytes, quarter);
        if (above) AddBytes4(centre + rowBytes, quarter);
    }
}

// --- The pass ---------------------------------------------------------------------

// Below this many samples a pass is too short to share out.
constexpr int32_t kShareFrom = 8192;
constexpr int32_t kMaxParts = 64;
constexpr int32_t kPartsPerThread = 4;

struct ChunkWork {
    StepOutput out;
    // By row band of the target: the first binFill[b] entries of bins[b].
    // The vectors only grow, so a pass writes into kept storage.
    std::vector<SplatEntry> bins[kMaxParts];
    size_t binFill[kMaxParts];
    std::vector<int32_t> reseeds;  // in sample order
    // The chunk's reseed count, published when its steps, splats and reseed
    // list are done; -1 before.
    std::atomic<int32_t> reseedCount{-1};
};

struct PassContext {
    StepConstants k;
    StepBlockFunction step;
    SampleSet* samples;
    uint8_t* pixels;
    uint32_t* deep;  // the deep image's excess, or null
    // By thread slot, when each thread splats into its own image: the
    // output image, then the layers. Otherwise null, and the splats are
    // sorted into row bands.
    uint8_t* images[kMaxOutputLayers + 1];
    bool layered;
    int32_t parts;  // chunks of samples, and row bands
    int32_t threads;
    SeedConstants seed;  // what the reseeds read; whether they snap decides where they run
    PlanePoint julia0;   // c[0] as the pass began
    uint32_t stateBefore;         // the generator before the pass's reseeds
    std::atomic<int32_t> placed;  // chunks whose reseeds are placed
};

// A layer costs a pass over the image when it is merged, and its pages are
// brought in as the splats reach them: it pays when a run splats more
// points than the image has pixels.
static bool LayersPay(int32_t samples, const RgbImage& image)
{
    const int64_t passes = static_cast<int64_t>(app.settings.Iterations) + 2;
    return passes > 0 && passes * samples >= static_cast<int64_t>(image.width) * image.height;
}

// Kept between passes so their capacity is reused; only the worker runs passes.
static std::vector<std::unique_ptr<ChunkWork>> chunkWork;
static std::vector<int32_t> bandStart;    // first row of each band, then the height
static std::vector<uint8_t> bandOfRow;    // band of each row
static std::vector<int32_t> passReseeds;  // all of a pass's reseeds, in sample order

static void PrepareParts(int32_t parts, int32_t height)
{
    while (static_cast<int32_t>(chunkWork.size()) < parts) chunkWork.push_back(std::make_unique<ChunkWork>());
    if (static_cast<int32_t>(bandStart.size()) == parts + 1 && bandStart[parts] == height) return;
    bandStart.assign(parts + 1, 0);
    for (int32_t b = 0; b <= parts; ++b)
        bandStart[b] = static_cast<int32_t>(static_cast<int64_t>(height) * b / parts);
    bandOfRow.assign(static_cast<size_t>(height), 0);
    for (int32_t b = 0; b < parts; ++b)
        for (int32_t row = bandStart[b]; row < bandStart[b + 1]; ++row) bandOfRow[row] = static_cast<uint8_t>(b);
}

// Sorts a stepped block's splats into the bands that own their rows; a row
// of a splat that lies in another band goes there as a quarter-only entry.
// A splat adds at most one entry to any band (its three rows are
// consecutive), so each band makes room for the block's count first.
static void BinBlock(const StepOutput& out, ChunkWork& work, int32_t parts, uint32_t rowBytes)
{
    SplatEntry* bin[kMaxParts];
    size_t fill[kMaxParts];
    for (int32_t b = 0; b < parts; ++b) {
        fill[b] = work.binFill[b];
        if (work.bins[b].size() < fill[b] + static_cast<size_t>(out.count))
            work.bins[b].resize(2 * (fill[b] + static_cast<size_t>(out.count)));
        bin[b] = work.bins[b].data();
    }
    const uint8_t* band = bandOfRow.data();
    for (int32_t j = 0; j < out.count; ++j) {
        const int32_t row = out.rows[j];
        const uint32_t offset = out.offsets[j];
        const uint32_t sample = static_cast<uint32_t>(out.samples[j]);
        const int32_t own = band[row];
        const int32_t below = band[row - 1];
        const int32_t above = band[row + 1];
        uint32_t flags = 0;
        if (below != own) {
            flags |= kSkipRowBelow;
            bin[below][fill[below]++] = {offset - rowBytes, sample | kQuarterOnly};
        }
        if (above != own) {
            flags |= kSkipRowAbove;
            bin[above][fill[above]++] = {offset + rowBytes, sample | kQuarterOnly};
        }
        bin[own][fill[own]++] = {offset, sample | flags};
    }
    for (int32_t b = 0; b < parts; ++b) work.binFill[b] = fill[b];
}

static void ChunkRange(int32_t count, int32_t parts, int32_t part, int32_t& begin, int32_t& end)
{
    begin = static_cast<int32_t>(static_cast<int64_t>(count) * part / parts);
    end = static_cast<int32_t>(static_cast<int64_t>(count) * (part + 1) / parts);
}

static void StepChunk(void* context, int32_t part)
{
    const PassContext& pc = *static_cast<const PassContext*>(context);
    ChunkWork& work = *chunkWork[part];
    for (int32_t b = 0; b < pc.parts; ++b) work.binFill[b] = 0;
    work.reseeds.clear();
    int32_t begin, end;
    ChunkRange(pc.samples->count, pc.parts, part, begin, end);
    for (int32_t block = begin; block < end; block += kStepBlock) {
        const int32_t blockEnd = std::min(end, block + kStepBlock);
        pc.step(pc.k, pc.samples->z, pc.samples->c, block, blockEnd, work.out);
        if (pc.layered)
            SplatBlock<false>(pc.images[CurrentThreadSlot()], nullptr, pc.k.rowBytes, pc.samples->colour, work.out);
        else if (pc.pixels)
            BinBlock(work.out, work, pc.parts, pc.k.rowBytes);
        work.reseeds.insert(work.reseeds.end(), work.out.reseeds, work.out.reseeds + work.out.reseedCount);
    }
    work.reseedCount.store(static_cast<int32_t>(work.reseeds.size()), std::memory_order_release);
}

static void SplatBand(void* context, int32_t band)
{
    const PassContext& pc = *static_cast<const PassContext*>(context);
    for (int32_t part = 0; part < pc.parts; ++part) {
        const ChunkWork& work = *chunkWork[part];
        (pc.deep ? SplatEntries<true> : SplatEntries<false>)(pc.pixels, pc.deep, pc.k.rowBytes, pc.samples->colour,
                                                             work.bins[band].data(), work.binFill[band]);
    }
}

// A reseeded sample is first plotted in the next pass, so reseeding after
// the steps, in sample order, draws and places exactly as the plain pass.
static void ReseedPass(void* context)
{
    const PassContext& pc = *static_cast<const PassContext*>(context);
    ReseedSamples(*pc.samples, passReseeds.data(), static_cast<int32_t>(passReseeds.size()), pc.seed, pc.threads);
}

// Reseeds without snaps take two draws each and nothing else, so a chunk's
// reseeds start where the reseeds of the chunks before it leave the
// generator, and the thread that stepped the chunk places them, while its
// samples are in its caches, as soon as every chunk before it has published
// its count. Chunks it could not place yet wait in its own list until its
// next part ends, or until it has no part left to take.
struct PlaceQueue {
    int32_t parts[kMaxParts];
    int32_t count;
};
static thread_local PlaceQueue waiting = {{}, 0};

static bool TryPlace(PassContext& pc, int32_t part)
{
    uint64_t before = 0;
    for (int32_t q = 0; q < part; ++q) {
        const int32_t n = chunkWork[q]->reseedCount.load(std::memory_order_acquire);
        if (n < 0) return false;
        before += static_cast<uint64_t>(n);
    }
    const ChunkWork& work = *chunkWork[part];
    SetRandomState(RandomStateAfter(pc.stateBefore, 2 * before));
    PlaceReseeds(*pc.samples, work.reseeds.data(), static_cast<int32_t>(work.reseeds.size()), pc.seed, pc.julia0);
    pc.placed.fetch_add(1, std::memory_order_release);
    return true;
}

// Places the waiting chunks in order; a chunk whose predecessors are not all
// counted holds back the later ones, whose counts need it too.
static void PlaceWaiting(PassContext& pc)
{
    int32_t done = 0;
    while (done < waiting.count && TryPlace(pc, waiting.parts[done])) ++done;
    for (int32_t k = done; k < waiting.count; ++k) waiting.parts[k - done] = waiting.parts[k];
    waiting.count -= done;
}

static void StepAndPlaceChunk(void* context, int32_t part)
{
    PassContext& pc = *static_cast<PassContext*>(context);
    StepChunk(context, part);
    waiting.parts[waiting.count++] = part;
    PlaceWaiting(pc);
}

// Every chunk is taken before any thread finishes, and stepping never
// waits, so every count this waits for comes.
static void PlaceAllWaiting(void* context)
{
    PassContext& pc = *static_cast<PassContext*>(context);
    for (;;) {
        PlaceWaiting(pc);
        if (waiting.count == 0) return;
        CpuPause();
    }
}

// A layered pass without snaps: one meeting, the reseeds placed by the
// threads that stepped them; the worker's generator ends where the plain
// pass leaves it.
static void StepAndReseed(PassContext& pc)
{
    for (int32_t part = 0; part < pc.parts; ++part)
        chunkWork[part]->reseedCount.store(-1, std::memory_order_relaxed);
    pc.stateBefore = RandomState();
    pc.placed.store(0, std::memory_order_relaxed);
    StartParts(StepAndPlaceChunk, &pc, pc.parts, pc.threads - 1, PlaceAllWaiting);
    FinishParts();
    while (pc.placed.load(std::memory_order_acquire) < pc.parts) CpuPause();
    uint64_t total = 0;
    for (int32_t part = 0; part < pc.parts; ++part) total += static_cast<uint64_t>(chunkWork[part]->reseeds.size());
    SetRandomState(RandomStateAfter(pc.stateBefore, 2 * total));
    NoteReseeds(static_cast<int32_t>(total));
}

void FastRegionPass()
{
    SampleSet& s = app.samples;
    if (s.count <= 0) return;
    const RgbImage& image = app.outputImage;
    PassContext pc;
    pc.k.centerRe = app.regionCenterRe;
    pc.k.centerIm = app.regionCenterIm;
    pc.k.reciprocal = app.regionReciprocal;
    pc.k.width = image.width;
    pc.k.height = image.height;
    pc.k.widthPixels = image.width;
    pc.k.heightPixels = image.height;
    pc.k.rowBytes = static_cast<uint32_t>(image.width) * 3u;
    pc.k.maxBailout = app.settings.MaxBailout;
    pc.k.minBailout = app.settings.MinBailout;
    pc.k.checkBailout = app.settings.CheckBailout;
    pc.step = CurrentKernels().stepBlock;
    pc.samples = &s;
    // Too small an image for any splat: step only.
    pc.pixels = image.width >= 3 && image.height >= 3 ? image.pixels : nullptr;
    pc.deep = pc.pixels ? DeepSumsFor(image) : nullptr;
    const int32_t threads = std::min(RenderThreads(), kMaxParts);
    // Several parts per thread: a thread the system holds back leaves its
    // parts to the others instead of making them wait.
    int32_t parts = std::min(kMaxParts, threads * kPartsPerThread);
    if (pc.pixels) parts = std::min(parts, image.height);  // a band per part
    pc.parts = threads > 1 && s.count >= kShareFrom && !ReseedsWalkingInBackground() ? parts : 1;
    pc.threads = threads;
    pc.seed = ReadSeedConstants();
    pc.julia0 = s.c[0];
    // Each thread its own image when the memory is there; a deep render
    // keeps what clips in the one image, so it keeps the row bands.
    pc.images[0] = pc.pixels;
    pc.layered = pc.parts > 1 && pc.pixels && !pc.deep && LayersPay(s.count, image) &&
                 ProvideOutputLayers(threads - 1, pc.images + 1);

    passReseeds.clear();
    if (pc.parts == 1) {
        PrepareParts(1, image.height);
        StepOutput& out = chunkWork[0]->out;
        for (int32_t block = 0; block < s.count; block += kStepBlock) {
            pc.step(pc.k, s.z, s.c, block, std::min(s.count, block + kStepBlock), out);
            if (pc.pixels)
                (pc.deep ? SplatBlock<true> : SplatBlock<false>)(pc.pixels, pc.deep, pc.k.rowBytes, s.colour, out);
            passReseeds.insert(passReseeds.end(), out.reseeds, out.reseeds + out.reseedCount);
        }
    } else {
        PrepareParts(pc.parts, image.height);
        if (pc.layered && !pc.seed.borderOnly) {
            StepAndReseed(pc);
            return;
        }
        RunParts(StepChunk, &pc, pc.parts, threads - 1);
        for (int32_t part = 0; part < pc.parts; ++part) {
            const std::vector<int32_t>& r = chunkWork[part]->reseeds;
            passReseeds.insert(passReseeds.end(), r.begin(), r.end());
        }
        if (pc.pixels && !pc.layered && !pc.seed.borderOnly) {
            // Reseeds without snaps touch no pixel and no splat entry: the
            // worker makes them while the helpers begin the splats.
            RunParts(SplatBand, &pc, pc.parts, threads - 1, ReseedPass);
            return;
        }
        if (pc.pixels && !pc.layered) RunParts(SplatBand, &pc, pc.parts, threads - 1);
    }
    ReseedPass(&pc);
}
