// libFuzzer target: any bytes as a settings file, read the way the program
// reads its Halovane.ini.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "settings/SettingsFile.h"

// One file per process, in memory when the system offers a folder for it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = FuzzFilePath("");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    LoadSettingsFrom(path.c_str());
    std::remove(path.c_str());
    return 0;
}
