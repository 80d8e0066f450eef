#pragma once
// PNG text chunks (tEXt): written between the header and the pixels, read
// back from any PNG file. Plain byte work, no PNG library needed.
#include <string>
#include <vector>

struct PngText {
    std::string keyword;  // 1 to 79 printable characters
    std::string text;     // no NUL bytes
};

// The chunks' bytes: length, type, keyword, NUL, text, CRC each.
std::string PngTextChunks(const std::vector<PngText>& texts);
// Where the text chunks go in an encoded PNG: after the signature and the
// IHDR chunk. 0 when the bytes do not start that way.
size_t PngTextOffset(const unsigned char* bytes, size_t size);
// The text chunks of the PNG file at path, in file order. False with the
// reason when the file cannot be read or is not a PNG.
bool ReadPngTexts(const char* path, std::vector<PngText>& texts, std::string& reason);
