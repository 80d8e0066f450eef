#include "output/Tone.h"

#include <algorithm>
#include <cmath>

static const double kLn2 = 0.693147180559945309417;

double ToneLn(double x)
{
    // x = m 2^e with m in [sqrt(1/2), sqrt(2)): ln m = 2 atanh(s), s = (m - 1) / (m + 1),
    // |s| < 0.172, so twenty odd terms pass double precision.
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double term = s;
    double sum = 0.0;
    for (int k = 1; k <= 41; k += 2) {
        sum += term / k;
        term *= s2;
    }
    return 2.0 * sum + e * kLn2;
}

double ToneExp(double y)
{
    if (y < -1075.0) return 0.0;
    if (y > 709.0) return HUGE_VAL;
    // y = k ln2 + r with r near [0, ln2): e^r by its series, then times 2^k
    // exactly. ln2 in two parts, the first with k's bits to spare, keeps r
    // accurate for large k.
    const double ln2High = 6.93147180369123816490e-01;
    const double ln2Low = 1.90821492927058770002e-10;
    const double k = std::floor(y / kLn2);
    const double r = (y - k * ln2High) - k * ln2Low;
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 24; ++n) {
        term *= r / n;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(k));
}

// The largest channel of every pixel, from the top 16 bits down: two
// histograms of 65536 bins find the value of a rank without a sorted copy.
double AutoWhite(const uint32_t* counts, int32_t width, int32_t height, double percentile)
{
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint64_t> bins(65536, 0);
    uint64_t lit = 0;
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t* c = counts + 3 * p;
        const uint32_t top = std::max(c[0], std::max(c[1], c[2]));
        if (top == 0) continue;
        ++lit;
        ++bins[top >> 16];
    }
    if (lit == 0) return 1.0;
    // P x n is exact for the percentiles one writes, so a whole rank stays whole.
    uint64_t rank = static_cast<uint64_t>(std::ceil(percentile * static_cast<double>(lit) / 100.0));
    if (rank < 1) rank = 1;
    if (rank > lit) rank = lit;
    uint32_t high = 0;
    for (; rank > bins[high]; ++high) rank -= bins[high];
    std::fill(bins.begin(), bins.end(), 0);
    for (size_t p = 0; p < pixels; ++p) {
        const uint32_t* c = counts + 3 * p;
        const uint32_t top = std::max(c[0], std::max(c[1], c[2]));
        if (top != 0 && top >> 16 == high) ++bins[top & 0xFFFFu];
    }
    uint32_t low = 0;
    for (; rank > bins[low]; ++low) rank -= bins[low];
    return static_cast<double>(high << 16 | low);
}

double ToneWhite(const uint32_t* counts, int32_t width, int32_t height, const ToneSettings& tone)
{
    return tone.autoExposure ? AutoWhite(counts, width, height, tone.percentile) : tone.white;
}

uint16_t ToneLevel(uint32_t count, double white, const ToneSettings& tone)
{
    double t;
    if (tone.curve == toneLog) {
        t = ToneLn(1.0 + count) / ToneLn(1.0 + white);
        if (t > 1.0) t = 1.0;
    } else {
        t = count / white;
        if (t > 1.0) t = 1.0;
        if (tone.curve == toneSqrt) t = std::sqrt(t);
        // sqrt is exact in IEEE arithmetic; a power goes through our own ln and exp.
        if (tone.curve == toneGamma && t > 0.0 && t < 1.0) t = ToneExp(ToneLn(t) / tone.gamma);
    }
    if (!(t > 0.0)) return 0;  // log of a white below 1 gives no NaN here, but stay safe
    return static_cast<uint16_t>(std::floor(t * 65535.0 + 0.5));
}

void TonePicture(const uint32_t* counts, int32_t width, int32_t height, const ToneSettings& tone,
                 std::vector<uint16_t>& rgb)
{
    const double white = ToneWhite(counts, width, height, tone);
    const size_t w = static_cast<size_t>(width);
    rgb.assign(w * static_cast<size_t>(height) * 3u, 0);
    for (int32_t row = 0; row < height; ++row) {
        const uint32_t* from = counts + static_cast<size_t>(row) * w * 3u;
        uint16_t* to = rgb.data() + static_cast<size_t>(height - 1 - row) * w * 3u;
        for (size_t col = 0; col < w; ++col) {
            // Counts are blue first; the picture red first.
            to[3 * col + 0] = ToneLevel(from[3 * col + 2], white, tone);
            to[3 * col + 1] = ToneLevel(from[3 * col + 1], white, tone);
            to[3 * col + 2] = ToneLevel(from[3 * col + 0], white, tone);
        }
    }
}
