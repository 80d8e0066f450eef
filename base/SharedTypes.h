#pragma once
// Types shared by every subsystem.
#include <cstdint>

// A point of the complex plane. Positions and constants are always stored as
// float32; arithmetic is carried in double and rounded at every store.
struct PlanePoint {
    float re;
    float im;
};

// One pixel, in the byte order of a 24-bit bitmap.
struct Colour3 {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
};
static_assert(sizeof(Colour3) == 3, "Colour3 must be three packed bytes");

// A pixel position; rows count from the bottom of the image.
struct PixelPoint {
    int32_t col;
    int32_t row;
};

// A rectangle in client pixels; right and bottom are exclusive.
struct ClientRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The 40-byte bitmap info header followed by one empty colour entry, laid out
// as the platform's BITMAPINFO so it can be handed to it unchanged.
struct BitmapInfo {
    uint32_t headerSize;
    int32_t width;
    int32_t height;  // positive: rows are stored bottom-up
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t imageSize;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t coloursUsed;
    uint32_t coloursImportant;
    uint8_t colourEntry[4];
};
static_assert(sizeof(BitmapInfo) == 44, "BitmapInfo must match the platform's 44-byte BITMAPINFO");

// A 24-bit image: width x height Colour3 values, tightly packed (row stride
// width x 3), rows bottom-up. pixels is null while the image is absent.
struct RgbImage {
    int32_t width;
    int32_t height;
    uint8_t* pixels;
    BitmapInfo info;
};

// The samples of a run: three parallel arrays of count entries. count is the
// length the arrays were allocated with, so a pass never pairs a new
// SamplePoints setting with old arrays.
struct SampleSet {
    PlanePoint* z;
    PlanePoint* c;
    Colour3* colour;
    int32_t count;
};
