#pragma once
// Tone mapping of the deep counts into a 16-bit picture. Every channel count
// c becomes t in 0..1 by the curve, with W the count that maps to white:
//   linear     t = min(1, c / W)
//   sqrt       t = sqrt(min(1, c / W))
//   gamma G    t = min(1, c / W) ^ (1 / G)
//   log        t = min(1, ln(1 + c) / ln(1 + W))
// and the 16-bit level is floor(t x 65535 + 0.5). W is the number given, or
// with automatic exposure the percentile P of the lit pixels (any channel
// above 0), each pixel taken by its largest channel: of the n lit pixels
// sorted by it, the one of rank max(1, ceil(P / 100 x n)) (nearest rank);
// 1 when no pixel is lit. The same W for all channels keeps the hues.
// The logarithms and powers are our own, from IEEE adds, multiplies and
// divides alone, so every build gives the same levels.
#include <cstdint>
#include <vector>

enum ToneCurve { toneLinear, toneSqrt, toneLog, toneGamma };

struct ToneSettings {
    ToneCurve curve = toneSqrt;
    double gamma = 2.2;        // the gamma curve's G, above 0
    bool autoExposure = true;  // white from the percentile, else white below
    double white = 1.0;        // the count that maps to white, above 0
    double percentile = 99.5;  // 0 to 100
};

// Counts are width x height x 3, blue first, rows bottom-up, as the deep image holds them.
double AutoWhite(const uint32_t* counts, int32_t width, int32_t height, double percentile);
double ToneWhite(const uint32_t* counts, int32_t width, int32_t height, const ToneSettings& tone);
uint16_t ToneLevel(uint32_t count, double white, const ToneSettings& tone);
// The picture as 16-bit red, green, blue, rows top-down (as a PNG wants them).
void TonePicture(const uint32_t* counts, int32_t width, int32_t height, const ToneSettings& tone,
                 std::vector<uint16_t>& rgb);

// The natural logarithm of x > 0 and e^y, near to 1 ulp; exposed for tests.
double ToneLn(double x);
double ToneExp(double y);
