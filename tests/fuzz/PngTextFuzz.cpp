// libFuzzer target: any bytes as a PNG file whose text chunks --recipe
// reads; and text chunks made from the bytes, put into a PNG and read back,
// must come back as they were written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "output/PngText.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

// Texts from the bytes: lines, each a keyword (printable, 1 to 79
// characters) and a text (no NUL) split at the first '='.
std::vector<PngText> TextsOf(const std::string& bytes)
{
    std::vector<PngText> texts;
    size_t from = 0;
    while (from <= bytes.size() && texts.size() < 8) {
        size_t end = bytes.find('\n', from);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(from, end - from);
        const size_t equals = line.find('=');
        PngText t;
        for (char ch : line.substr(0, equals))
            if (ch >= 0x21 && ch <= 0x7e && t.keyword.size() < 79) t.keyword += ch;
        if (t.keyword.empty()) t.keyword = "k";
        if (equals != std::string::npos)
            for (char ch : line.substr(equals + 1))
                if (ch != '\0') t.text += ch;
        texts.push_back(t);
        from = end + 1;
    }
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = FuzzFilePath("png-");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<PngText> read;
    std::string reason;
    WriteFile(path, bytes);
    if (!ReadPngTexts(path.c_str(), read, reason) && reason.empty()) std::abort();

    // Signature, an IHDR chunk, the texts, IEND.
    const std::vector<PngText> texts = TextsOf(bytes);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    png += std::string("\0\0\0\x0dIHDR", 8) + std::string(13 + 4, '\0');
    if (PngTextOffset(reinterpret_cast<const unsigned char*>(png.data()), png.size()) != png.size()) std::abort();
    png += PngTextChunks(texts);
    png += std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    WriteFile(path, png);
    if (!ReadPngTexts(path.c_str(), read, reason)) std::abort();
    if (read.size() != texts.size()) std::abort();
    for (size_t k = 0; k < texts.size(); ++k)
        if (read[k].keyword != texts[k].keyword || read[k].text != texts[k].text) std::abort();
    std::remove(path.c_str());
    return 0;
}
