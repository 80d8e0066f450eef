#include "output/PngText.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// A text chunk longer than this is nobody's recipe.
const uint32_t kTextLimit = 1 << 20;

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xffffffffu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xedb88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xffffffffu;
}

void AppendBigEndian(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xff);
}

uint32_t BigEndian(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

}  // namespace

std::string PngTextChunks(const std::vector<PngText>& texts)
{
    std::string out;
    for (const PngText& t : texts) {
        const std::string body = "tEXt" + t.keyword + std::string(1, '\0') + t.text;
        AppendBigEndian(out, static_cast<uint32_t>(body.size() - 4));
        out += body;
        AppendBigEndian(out, Crc32(body));
    }
    return out;
}

size_t PngTextOffset(const unsigned char* bytes, size_t size)
{
    // Signature, then IHDR: length 13, type, 13 bytes, CRC.
    const size_t end = 8 + 4 + 4 + 13 + 4;
    if (size < end || std::memcmp(bytes, kSignature, 8) != 0 || BigEndian(bytes + 8) != 13 ||
        std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return 0;
    return end;
}

bool ReadPngTexts(const char* path, std::vector<PngText>& texts, std::string& reason)
{
    texts.clear();
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return Fail(reason, std::strerror(errno));
    unsigned char head[8];
    bool ok = std::fread(head, 1, 8, file) == 8 && std::memcmp(head, kSignature, 8) == 0;
    if (!ok) reason = "it is not a PNG file";
    while (ok) {
        unsigned char chunk[8];
        if (std::fread(chunk, 1, 8, file) != 8) {
            ok = Fail(reason, "the PNG file ends early");
            break;
        }
        const uint32_t length = BigEndian(chunk);
        const std::string type(reinterpret_cast<const char*>(chunk + 4), 4);
        if (type == "IEND") break;
        if (type != "tEXt") {
            // Skip the data and the CRC.
            // The step stays within a 32-bit long, as on Windows.
            if (length > 0x7ffffff0u || std::fseek(file, static_cast<long>(length) + 4, SEEK_CUR) != 0)
                ok = Fail(reason, "the PNG file is damaged");
            continue;
        }
        if (length > kTextLimit) {
            ok = Fail(reason, "a text chunk of the PNG file is too long");
            break;
        }
        std::string body = type + std::string(length, '\0');
        unsigned char crc[4];
        if (std::fread(&body[4], 1, length, file) != length || std::fread(crc, 1, 4, file) != 4 ||
            BigEndian(crc) != Crc32(body)) {
            ok = Fail(reason, "a text chunk of the PNG file is damaged");
            break;
        }
        const size_t nul = body.find('\0', 4);
        if (nul == std::string::npos) {
            ok = Fail(reason, "a text chunk of the PNG file has no keyword");
            break;
        }
        texts.push_back({body.substr(4, nul - 4), body.substr(nul + 1)});
    }
    std::fclose(file);
    return ok;
}
