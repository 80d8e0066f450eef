// Our own private-profile (INI) reader and writer for the native build.
//
// Reading: names match without regard to case and surrounding blanks; the
// first section of a name and the first of duplicate keys count; lines whose
// first non-blank is ';' are comments; a UTF-8 byte-order mark is skipped;
// LF, CRLF and CR end lines. Writing changes one line (or adds one or two),
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

// Splits a stream into lines at LF, CRLF or CR. onByte(c) sees each byte of
// the current line, onLineEnd() each line's end, including that of a last
// line without a line end. False on a read error.
template <typename OnByte, typename OnLineEnd>
bool SplitLines(FILE* file, OnByte onByte, OnLineEnd onLineEnd)
{
    char chunk[kChunk];
    bool afterCr = false;
    bool lineOpen = false;
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        for (size_t i = 0; i < n; ++i) {
            char c = chunk[i];
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
    }
    if (std::ferror(file)) return false;
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
    bool wideText;           // UTF-16: not ours to read or rewrite byte-wise
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
        if (lineIndex == 0 && (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0)) {
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
    bool ok = SplitLines(file, onByte, onLineEnd);
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
            readOk = SplitLines(in, onByte, onLineEnd);
            std::fclose(in);
        }
    }
    if (!search.sectionFound) Put(out, std::string("[") + section + "]\r\n" + keyLine);

    return Finish(out, readOk);
}
