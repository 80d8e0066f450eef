#pragma once
// The recipes of a seeded position, shared by the plain and the fast
// seeding so the two cannot drift apart: the unit value of a draw and the
// angle scale; and the bit-for-bit comparison the fast estimate's cycle
// search needs. Static: the AVX2 kernels include this too, and each file
// must keep its own copy built for its own target.
#include <cstdint>
#include <cstring>

// u = 1 - 2r/32767, uniform over [-1, 1]. Multiplied by the stored
// reciprocal, not divided by 32767: the two differ in the last bit for some
// draws, and every seeded position depends on it.
static inline double UnitFromDraw(int32_t r)
{
    const double reciprocal = 3.051850947599719e-05;
    return 1.0 - 2.0 * r * reciprocal;
}

// 3.1416, not pi: the scale the seeding has always used; the golden images
// pin it. The angle is rounded to float32 before its cosine and sine.
static inline float AngleFromDraw(int32_t r) { return static_cast<float>(UnitFromDraw(r) * 3.1416); }

// Equal bit for bit (so NaNs with the same bits are equal, 0 and -0 are not).
static inline bool SameBits(double a, double b)
{
    uint64_t x, y;
    std::memcpy(&x, &a, 8);
    std::memcpy(&y, &b, 8);
    return x == y;
}
