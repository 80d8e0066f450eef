// The README's commands, run as a reader would run them from the repository
// root: every ```sh block that calls the renderer or its scripts runs in a
// folder laid out like the repository, and what it makes must be worth
// looking at. Native only, like the renderer's other tests.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <png.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bodies of the README's ```sh blocks, in order.
std::vector<std::string> ShellBlocks(const std::string& readme)
{
    std::vector<std::string> blocks;
    std::istringstream in(readme);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (!inside && line == "```sh") {
            inside = true;
            blocks.emplace_back();
        } else if (inside && line == "```") {
            inside = false;
        } else if (inside) {
            blocks.back() += line + "\n";
        }
    }
    return blocks;
}

bool Mentions(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

std::string Shell(const std::string& command)
{
    const std::string out = "readme-shell.out";
    std::system(("{ " + command + "; } >" + out + " 2>&1").c_str());
    const std::string text = ReadAll(out);
    std::remove(out.c_str());
    return text;
}

// The share of pixels lit and of pixels white, in percent.
bool Brightness(const std::string& file, double& lit, double& white)
{
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, file.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return false;
    size_t litCount = 0, whiteCount = 0;
    for (size_t i = 0; i + 2 < pixels.size(); i += 3) {
        litCount += (pixels[i] | pixels[i + 1] | pixels[i + 2]) != 0;
        whiteCount += pixels[i] == 255 && pixels[i + 1] == 255 && pixels[i + 2] == 255;
    }
    const double count = static_cast<double>(pixels.size() / 3);
    lit = 100.0 * static_cast<double>(litCount) / count;
    white = 100.0 * static_cast<double>(whiteCount) / count;
    return true;
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Readme, EveryCommandRunsAndShowsSomething)
{
    const std::string source = HALOVANE_SOURCE_DIR;
    const std::vector<std::string> blocks = ShellBlocks(ReadAll(source + "/README.md"));
    ASSERT_FALSE(blocks.empty());
    const bool haveFfmpeg = Shell("command -v ffmpeg >/dev/null && echo yes") == "yes\n";

    // A folder laid out like the repository: its scripts, and the renderer
    // where the build puts it.
    const std::string root = "readme-root";
    fs::remove_all(root);
    fs::create_directories(root + "/build/native/cli");
    fs::create_symlink(source + "/scripts", root + "/scripts");
    fs::create_symlink(HALOVANE_RENDER, root + "/build/native/cli/halovane-render");

    size_t run = 0;
    std::vector<std::string> outputs;  // what each block writing out/ left there
    for (size_t k = 0; k < blocks.size(); ++k) {
        const std::string& block = blocks[k];
        SCOPED_TRACE(block);
        const std::string script = root + "/block-" + std::to_string(k) + ".sh";
        { std::ofstream(script) << block; }
        EXPECT_EQ(Shell("bash -n " + script + " && echo ok"), "ok\n") << "every block is valid shell";
        // The machine set-up and build scripts, and other machines, are not ours to run here.
        const bool renders = Mentions(block, "halovane-render") || Mentions(block, "scripts/sweep.sh") ||
                             Mentions(block, "scripts/frames-video.sh") || Mentions(block, "scenes.txt");
        if (!renders || Mentions(block, "--sshlogin")) continue;
        if (Mentions(block, "frames-video.sh") && !haveFfmpeg) {
            std::printf("note: ffmpeg is not installed; the README's video commands were not run\n");
            continue;
        }
        const bool writesOut = Mentions(block, " out");
        if (writesOut) fs::remove_all(root + "/out");
        const std::string result = Shell("cd " + root + " && bash -e -o pipefail block-" + std::to_string(k) +
                                         ".sh >/dev/null 2>block.err; echo $?; cat block.err");
        // The exit code, then what the block said on standard error (progress lines of a slow machine among it).
        EXPECT_EQ(result.substr(0, 2), "0\n") << result;
        ++run;
        if (writesOut) outputs.push_back(Shell("ls " + root + "/out"));
    }
    EXPECT_GE(run, 8u) << "the README's commands were found";

    // Every sweep names its outputs the same way and makes the folder.
    ASSERT_FALSE(outputs.empty());
    for (const std::string& names : outputs) EXPECT_EQ(names, "0001.png\n0002.png\n0003.png\n");

    // Every picture the commands made has something to see: a good share lit, little burnt white.
    size_t pictures = 0;
    for (const std::string& folder : {root, root + "/out"}) {
        for (const std::string& name : Names(folder)) {
            if (name.size() < 4 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
            SCOPED_TRACE(folder + "/" + name);
            double lit = 0, white = 0;
            ASSERT_TRUE(Brightness(folder + "/" + name, lit, white));
            EXPECT_GT(lit, 20.0);
            EXPECT_LT(white, 15.0);
            ++pictures;
        }
    }
    EXPECT_GE(pictures, 12u);
    if (haveFfmpeg) {
        EXPECT_GT(ReadAll(root + "/drift.mp4").size(), 0u);
        EXPECT_GT(ReadAll(root + "/drift.gif").size(), 0u);
    }
    fs::remove_all(root);
}

}  // namespace
#endif
