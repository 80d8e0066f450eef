// Our own private-profile (INI) reader and writer for the native build.
//
// Reading: names match without regard to case and surrounding blanks; the
// first section of a name and the first of duplicate keys count; lines whose
// first non-blank is ';' are comments; a UTF-8 byte-order mark is skipped, a
// UTF-16LE one makes the file read as that text (as the Windows functions
// read it; such a file is not rewritten); LF, CRLF and CR end lines. Writing changes one line (or adds one or two),
// keeps every other line's bytes and ends every line with CRLF, so that files
// in the program's own format come out as the Windows program writes them.
// Files are streamed, so memory stays bounded whatever the file holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "platform/ProfileText.h"
#include "platform/Text.h"

namespace {

// Only this much of a line (after its leading blanks) is looked at: enough
// for any name and for every value the program reads.
const size_t kLineLimit = 4096;
const size_t kChunk = 65536;

bool SameName(const std::string& a, const char* b) { return ::SameName(a.data(), a.size(), b); }

std::string Trim(const std::string& text, size_t begin, size_t end)
{
    while (begin < end && IsLineBlank(text[begin])) ++begin;
    while (end > begin && IsLineBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Appends the UTF-8 form of a code point.
void PutUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE text (after its byte-order mark) as UTF-8, fed in pieces: a unit
// or a surrogate pair may be split between two pieces.
struct WideDecoder {
    bool haveByte = false;
    uint8_t low = 0;
    uint32_t highSurrogate = 0;  // waiting for its partner, or 0

    void Unit(uint32_t unit, std::string& out)
    {
        if (highSurrogate != 0) {
            const uint32_t high = highSurrogate;
            highSurrogate = 0;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                PutUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                return;
            }
            PutUtf8(out, 0xFFFD);
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) highSurrogate = unit;
        else if (unit >= 0xDC00 && unit <= 0xDFFF) PutUtf8(out, 0xFFFD);
        else PutUtf8(out, unit);
    }
    void Bytes(const char* bytes, size_t n, std::string& out)
    {
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = static_cast<uint8_t>(bytes[i]);
            if (!haveByte) {
                low = b;
                haveByte = true;
            } else {
                haveByte = false;
                Unit(static_cast<uint32_t>(low) | static_cast<uint32_t>(b) << 8, out);
            }
        }
    }
    void End(std::string& out)
    {
        if (highSurrogate != 0 || haveByte) PutUtf8(out, 0xFFFD);
        highSurrogate = 0;
        haveByte = false;
    }
};

// Splits a stream into lines at LF, CRLF or CR. onByte(c) sees each byte of
// the current line, onLineEnd() each line's end, including that of a last
// line without a line end. A file that begins with the UTF-16LE byte-order
// mark is read as that text, as the Windows functions read it, and sets
// wide. False on a read error.
template <typename OnByte, typename OnLineEnd>
bool SplitLines(FILE* file, OnByte onByte, OnLineEnd onLineEnd, bool& wide)
{
    char chunk[kChunk];
    bool afterCr = false;
    bool lineOpen = false;
    bool first = true;
    WideDecoder decoder;
    std::string decoded;
    auto feed = [&](const char* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            char c = bytes[i];
            if (afterCr) {
                afterCr = false;
                if (c == '\n') continue;
            }
            if (c == '\r' || c == '\n') {
                onLineEnd();
                lineOpen = false;
                afterCr = c == '\r';
            } else {
                onByte(c);
                lineOpen = true;
            }
        }
    };
    wide = false;
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        size_t skip = 0;
        if (first && n >= 2 && chunk[0] == '\xFF' && chunk[1] == '\xFE') {
            wide = true;
            skip = 2;
        }
        first = false;
        if (!wide) {
            feed(chunk, n);
            continue;
        }
        decoded.clear();
        decoder.Bytes(chunk + skip, n - skip, decoded);
        feed(decoded.data(), decoded.size());
    }
    if (std::ferror(file)) return false;
    if (wide) {
        decoded.clear();
        decoder.End(decoded);
        feed(decoded.data(), decoded.size());
    }
    if (lineOpen) onLineEnd();
    return true;
}

enum LineKind { kBlank, kComment, kSection, kKey, kOther };

struct ParsedLine {
    LineKind kind;
    std::string name;   // section or key name, trimmed
    bool hasValue;      // a key line with '='
    std::string value;  // trimmed, quotes kept
};

ParsedLine ParseLine(std::string text, bool firstLine)
{
    if (firstLine && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    ParsedLine line = {kBlank, std::string(), false, std::string()};
    std::string trimmed = Trim(text, 0, text.size());
    if (trimmed.empty()) return line;
    if (trimmed[0] == ';') {
        line.kind = kComment;
        return line;
    }
    if (trimmed[0] == '[') {
        size_t close = trimmed.find(']');
        if (close != std::string::npos) {
            line.kind = kSection;
            line.name = Trim(trimmed, 1, close);
            return line;
        }
    }
    size_t equals = trimmed.find('=');
    line.kind = kKey;
    if (equals == std::string::npos) {
        line.name = trimmed;
        return line;
    }
    line.name = Trim(trimmed, 0, equals);
    line.hasValue = true;
    line.value = Trim(trimmed, equals + 1, trimmed.size());
    return line;
}

// Where a key of a section stands in a file.
struct KeySearch {
    bool fileExists;
    bool wideText;           // UTF-16: not ours to rewrite byte-wise
    bool sectionFound;
    size_t lastSectionLine;  // last non-blank line of the section
    bool keyFound;
    size_t keyLine;
    std::string keyName;     // as spelt in the file
    bool keyHasValue;
    bool keyLineCut;         // the line was longer than we look at
    std::string keyValue;    // trimmed, quotes kept
};

// Opens a settings file for reading. Only a regular file is read: a device
// or a pipe could block or never end. Null, with errno set, otherwise.
FILE* OpenRegular(const char* path)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    FILE* file = fdopen(fd, "rb");
    if (!file) close(fd);
    return file;
}

// False when the file exists but cannot be read (or is not a regular file).
bool FindKey(const char* section, const char* key, const char* path, KeySearch& search)
{
    search = KeySearch{false, false, false, 0, false, 0, std::string(), false, false, std::string()};
    FILE* file = OpenRegular(path);
    if (!file) return errno == ENOENT;
    search.fileExists = true;

    std::string text;
    bool cut = false;
    size_t lineIndex = 0;
    bool inSection = false;
    bool done = false;  // past the first section of the name
    auto onByte = [&](char c) {
        if (done) return;
        if (text.empty() && IsLineBlank(c)) return;
        if (text.size() < kLineLimit) text += c;
        else cut = true;
    };
    auto onLineEnd = [&]() {
        // UTF-16BE, which the Windows functions do not read either.
        if (lineIndex == 0 && text.compare(0, 2, "\xFE\xFF") == 0) {
            search.wideText = true;
            done = true;
        }
        if (!done) {
            ParsedLine line = ParseLine(text, lineIndex == 0);
            if (line.kind == kSection) {
                if (inSection) done = true;
                else if (!search.sectionFound && SameName(line.name, section)) {
                    inSection = true;
                    search.sectionFound = true;
                    search.lastSectionLine = lineIndex;
                }
            } else if (inSection && line.kind != kBlank) {
                search.lastSectionLine = lineIndex;
                if (line.kind == kKey && !search.keyFound && SameName(line.name, key)) {
                    search.keyFound = true;
                    search.keyLine = lineIndex;
                    search.keyName = line.name;
                    search.keyHasValue = line.hasValue;
                    search.keyLineCut = cut;
                    search.keyValue = line.value;
                }
            }
        }
        text.clear();
        cut = false;
        ++lineIndex;
    };
    bool wide = false;
    bool ok = SplitLines(file, onByte, onLineEnd, wide);
    if (wide) search.wideText = true;
    std::fclose(file);
    return ok;
}

// The key's value as read, or nothing when the file, section, key or value
// is missing.
bool ReadValue(const char* section, const char* key, const char* path, std::string& value)
{
    if (!section || !key || !path) return false;
    KeySearch search;
    if (!FindKey(section, key, path, search) || !search.keyFound || !search.keyHasValue) return false;
    value = ProfileValue(search.keyValue);
    return true;
}

// Buffered writes into a whole-file write.
struct Output {
    FileWrite file;
    std::string pending;
};

void Put(Output& out, const std::string& text)
{
    out.pending += text;
    if (out.pending.size() >= kChunk) {
        AppendFileWrite(out.file, out.pending.data(), out.pending.size());
        out.pending.clear();
    }
}

void PutByte(Output& out, char c)
{
    out.pending += c;
    if (out.pending.size() >= kChunk) Put(out, std::string());
}

bool Finish(Output& out, bool commit)
{
    AppendFileWrite(out.file, out.pending.data(), out.pending.size());
    std::string error;
    return FinishFileWrite(out.file, commit, error);
}

}  // namespace

int32_t ProfileGetInt(const char* section, const char* key, int32_t fallback, const char* path)
{
    std::string value;
    if (!ReadValue(section, key, path, value)) return fallback;
    return ProfileTextToInt(value, fallback);
}

void ProfileGetString(const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size, const char* path)
{
    if (!buffer || size == 0) return;
    std::string value;
    if (!ReadValue(section, key, path, value)) value = fallback ? fallback : "";
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    value.copy(buffer, n);
    buffer[n] = '\0';
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path)
{
    if (!section || !key || !path) return false;
    std::string newValue = value ? value : "";
    KeySearch search;
    if (!FindKey(section, key, path, search) || search.wideText) return false;
    if (search.keyFound && search.keyHasValue && !search.keyLineCut && search.keyValue == newValue)
        return true;

    // The new file replaces the old one whole, so a failure leaves the old
    // file as it was.
    Output out;
    std::string error;
    if (!BeginFileWrite(path, out.file, error)) return false;

    const std::string keyLine =
        (search.keyFound ? search.keyName : std::string(key)) + "=" + newValue + "\r\n";
    bool readOk = true;
    if (search.fileExists) {
        FILE* in = OpenRegular(path);
        if (!in) {
            readOk = false;
        } else {
            size_t lineIndex = 0;
            auto onByte = [&](char c) {
                if (!(search.keyFound && lineIndex == search.keyLine)) PutByte(out, c);
            };
            auto onLineEnd = [&]() {
                if (search.keyFound && lineIndex == search.keyLine) {
                    Put(out, keyLine);
                } else {
                    Put(out, "\r\n");
                    if (search.sectionFound && !search.keyFound && lineIndex == search.lastSectionLine)
                        Put(out, keyLine);
                }
                ++lineIndex;
            };
            bool wide = false;
            readOk = SplitLines(in, onByte, onLineEnd, wide) && !wide;
            std::fclose(in);
        }
    }
    if (!search.sectionFound) Put(out, std::string("[") + section + "]\r\n" + keyLine);

    return Finish(out, readOk);
}
