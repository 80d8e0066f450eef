// libFuzzer target: any bytes as halovane-render's command line, the
// arguments separated by NUL bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words(1, "halovane-render");
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    Options options;
    std::string reason;
    // A pattern that was taken must name any frame.
    if (ParseCommandLine(static_cast<int>(words.size()), argv.data(), options, reason) && options.frames) {
        FrameName(options.framePattern, 1);
        FrameName(options.framePattern, UINT32_MAX);
    }
    return 0;
}
