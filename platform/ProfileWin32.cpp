// The private-profile functions of the Windows program: the real KERNEL32
// calls.
#include <windows.h>

#include "platform/Platform.h"

int32_t ProfileGetInt(const char* section, const char* key, int32_t fallback, const char* path)
{
    return static_cast<int32_t>(GetPrivateProfileIntA(section, key, fallback, path));
}

void ProfileGetString(const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size, const char* path)
{
    if (!buffer || size == 0) return;
    GetPrivateProfileStringA(section, key, fallback, buffer, size, path);
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path)
{
    return WritePrivateProfileStringA(section, key, value, path) != FALSE;
}
