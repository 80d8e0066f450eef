#pragma once
// The step phase of a fast region pass: for a block of samples, the splat
// position of each point, the step z <- z^2 + c and the bailout tests, in
// the operation order of the plain pass. The kernels are in Kernels.h.
#include <cstdint>

#include "base/SharedTypes.h"

// The most samples one block call takes; the output lists hold that many.
constexpr int32_t kStepBlock = 256;

struct StepConstants {
    double centerRe;    // region centre
    double centerIm;
    double reciprocal;  // 1 / region width
    double width;       // output size, as the mapping multiplies by it
    double height;
    int32_t widthPixels;
    int32_t heightPixels;
    uint32_t rowBytes;
    double maxBailout;
    double minBailout;
    bool checkBailout;
};

// The samples of one block that land inside the image, in sample order:
// byte offset of the splat centre, its row and the sample index; then the
// samples to reseed, in sample order.
struct StepOutput {
    uint32_t offsets[kStepBlock];
    int32_t rows[kStepBlock];
    int32_t samples[kStepBlock];
    int32_t count;
    int32_t reseeds[kStepBlock];
    int32_t reseedCount;
};

