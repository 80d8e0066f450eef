// Reading --settings in the Windows build of halovane-render (used to time
// the 32-bit engine): files and standard input, within the same size limit.
// Windows has no poll() for files and pipes, so there is no time limit here;
// a file's read always ends.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/SettingsInput.h"
#include "settings/SettingsFile.h"

static bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

bool ReadSettingsInput(const char* path, std::string& bytes, bool& missing, std::string& reason)
{
    bytes.clear();
    missing = false;
    const bool standardInput = std::strcmp(path, "-") == 0;
    if (standardInput) _setmode(_fileno(stdin), _O_BINARY);
    FILE* file = standardInput ? stdin : std::fopen(path, "rb");
    if (!file) {
        missing = errno == ENOENT;
        return missing || Fail(reason, std::strerror(errno));
    }
    char chunk[65536];
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + n > kSettingsInputLimit)
            ok = Fail(reason, "it is longer than " + std::to_string(kSettingsInputLimit) +
                                  " bytes, too long for a settings file");
        else
            bytes.append(chunk, n);
    }
    if (ok && std::ferror(file)) ok = Fail(reason, std::strerror(errno));
    if (!standardInput) std::fclose(file);
    return ok;
}

bool LoadSettingsBytes(const std::string& bytes, std::string& reason)
{
    // The profile functions take a file: give them a private copy.
    char folder[MAX_PATH] = {};
    char name[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "hvs", 0, name) == 0)
        return Fail(reason, "cannot make a temporary copy");
    FILE* file = std::fopen(name, "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) file = nullptr;
    if (written && file) LoadSettingsFrom(name);
    DeleteFileA(name);
    return (written && file) || Fail(reason, "cannot make a temporary copy");
}
