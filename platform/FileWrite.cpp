// The whole-file write, the same on every platform: it streams the parts
// through the platform's own file-write halves.
#include "platform/Platform.h"

bool WriteWholeFile(const char* path, const FilePart* parts, size_t partCount, std::string& error)
{
    FileWrite write;
    if (!BeginFileWrite(path, write, error)) return false;
    for (size_t i = 0; i < partCount; ++i) AppendFileWrite(write, parts[i].bytes, parts[i].count);
    return FinishFileWrite(write, true, error);
}
