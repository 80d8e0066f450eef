// libFuzzer target: any bytes as halovane-render's --settings input, from a
// file and from a pipe. Both must give exactly the bytes, and the settings
// loaded from them must be those the file itself gives.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "app/AppState.h"
#include "cli/SettingsInput.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

namespace {

void Check(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The input read from name, then loaded: its settings' bits.
std::string ReadAndLoad(const std::string& name, const std::string& bytes)
{
    std::string read, reason;
    bool missing = false;
    Check(ReadSettingsInput(name.c_str(), read, missing, reason) && !missing, "the input was not read");
    Check(read == bytes, "the input read differs from its bytes");
    Check(LoadSettingsBytes(read, reason), "the input was not loaded");
    return SettingsBits();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = FuzzFilePath("input-");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    LoadSettingsFrom(path.c_str());
    const std::string direct = SettingsBits();
    Check(ReadAndLoad(path, bytes) == direct, "the file as input gives other settings");

    // The fuzzer's inputs fit in a pipe's buffer: written whole, then closed.
    int ends[2];
    Check(pipe(ends) == 0, "no pipe");
    Check(write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "short pipe write");
    close(ends[1]);
    Check(ReadAndLoad("/proc/self/fd/" + std::to_string(ends[0]), bytes) == direct,
          "the pipe as input gives other settings");
    close(ends[0]);
    std::remove(path.c_str());
    return 0;
}
