// The private-profile functions behind the settings file. The same cases run
// against our own implementation and, under Wine, against the real one; where
// the two may differ (Wine rewrites odd files in its own way) only what they
// share is checked: what is read and what survives a write.
//
// Each case uses a file name of its own: Windows caches profile files and may
// not notice a file rewritten within the same clock tick.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "platform/Platform.h"

namespace {

std::string ProfileTestPath(const std::string& name) { return TestFilePath("profile", name); }

std::string GetString(const std::string& path, const char* key, const char* fallback = "dd")
{
    char buffer[32];
    ProfileGetString("HV", key, fallback, buffer, sizeof buffer, path.c_str());
    return buffer;
}

int32_t GetInt(const std::string& path, const char* key) { return ProfileGetInt("HV", key, 9, path.c_str()); }

}  // namespace

TEST(Profile, ReadsHandWrittenFiles)
{
    struct ReadCase {
        const char* name;
        std::string file;
        const char* key;
        int32_t integer;     // with default 9
        const char* text;    // with default "dd"
    };
    const ReadCase cases[] = {
        {"plain", "[HV]\r\nA=1\r\n", "A", 1, "1"},
        {"case", "[hv]\nabc=7\n", "ABC", 7, "7"},
        {"blanks", " [ HV ] \n  A  =  7  \n", "A", 7, "7"},
        {"tabs", "[HV]\n\tA\t=\t1\t\n", "A", 1, "1"},
        {"bom", "\xEF\xBB\xBF[HV]\r\nA=3\r\n", "A", 3, "3"},
        {"cr-only", "[HV]\rA=1\rB=2\r\r[X]\rC=1", "B", 2, "2"},
        {"no-final-end", "[HV]\nA=4", "A", 4, "4"},
        {"first-of-keys", "[HV]\nA=1\nA=2\n", "A", 1, "1"},
        {"first-section", "[HV]\nA=1\n[HV]\nB=3\n", "B", 9, "dd"},
        {"section-after", "[X]\nB=1\n[HV]\nB=2\n[X]\nB=3\n", "B", 2, "2"},
        {"comment", "[HV]\n;A=5\n", "A", 9, "dd"},
        {"indented-comment", "[HV]\n  ;A=5\n", "A", 9, "dd"},
        {"no-equals", "[HV]\nA\n", "A", 9, "dd"},
        {"empty-value", "[HV]\nA=\n", "A", 9, ""},
        {"empty-quotes", "[HV]\nA=\"\"\n", "A", 9, ""},
        {"lone-quote", "[HV]\nA=\"\n", "A", 0, "\""},
        {"double-quotes", "[HV]\nA=\"12\"\n", "A", 12, "12"},
        {"single-quotes", "[HV]\nA='13'\n", "A", 13, "13"},
        {"unmatched-quote", "[HV]\nA=\"14\n", "A", 0, "\"14"},
        {"quoted-blanks", "[HV]\nA=\" 15 \"\n", "A", 15, " 15 "},
        {"no-inline-comment", "[HV]\nA=4 ; note\n", "A", 4, "4 ; note"},
        {"missing-section", "[X]\nA=1\n", "A", 9, "dd"},
        {"before-sections", "A=1\n[HV]\n", "A", 9, "dd"},
        {"unclosed-header", "[HV\nA=1\n", "A", 9, "dd"},
        {"header-junk", "[HV]junk\nA=1\n", "A", 1, "1"},
        {"long-value", "[HV]\nA=123456789012345678901234567890123456789\n", "A", 1849262357,
         "1234567890123456789012345678901"},
        {"empty-file", "", "A", 9, "dd"},
        {"binary", std::string("\x00\xff\x01[HV]\x00\n[HV]\nA=6\n\xfe\xff\x00=\x00", 23), "A", 6, "6"},
        {"huge-line", "[HV]\n" + std::string(100000, 'x') + "\nA=5\n" + std::string(100000, '='), "A", 5, "5"},
    };
    for (const ReadCase& c : cases) {
        std::string path = ProfileTestPath(std::string("read-") + c.name);
        WriteBytes(path, c.file);
        EXPECT_EQ(GetInt(path, c.key), c.integer) << c.name;
        EXPECT_EQ(GetString(path, c.key), c.text) << c.name;
        std::remove(path.c_str());
    }
}

TEST(Profile, AMissingFileGivesTheDefaults)
{
    std::string path = ProfileTestPath("missing");
    std::remove(path.c_str());
    EXPECT_EQ(GetInt(path, "A"), 9);
    EXPECT_EQ(GetString(path, "A", "0.005"), "0.005");
    EXPECT_EQ(GetString(path, "A", "0123456789012345678901234567890123"), "0123456789012345678901234567890");
    EXPECT_EQ(ReadBytes(path), "") << "reading never creates the file";
}

TEST(Profile, ConvertsIntegerTextByThePlatformRules)
{
    struct IntegerCase {
        const char* text;
        int32_t expected;
    };
    const IntegerCase cases[] = {
        {"10000", 10000},
        {"-5", -5},
        {"+7", 7},
        {"08", 8},
        {"12abc", 12},
        {"1 2", 1},
        {"1a", 1},
        {"0x10", 16},
        {"0xFF", 255},
        {"0xfg", 15},
        {"0x1A", 26},
        {"-0x10", -16},
        {"0xffffffff", -1},
        {"0o17", 15},
        {"0b101", 5},
        {"0X10", 0},
        {"0x", 0},
        {"0o8", 0},
        {"0b2", 0},
        {"abc", 0},
        {"a1", 0},
        {"-", 0},
        {"- 3", 0},
        {"+-5", 0},
        {"--1", 0},
        {"2147483648", INT_MIN},
        {"4294967296", 0},
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},
        // Only the first 29 characters count.
        {"00000000000000000000000000012", 12},
        {"000000000000000000000000000012", 1},
    };
    for (const IntegerCase& c : cases) {
        std::string path = ProfileTestPath(std::string("integer-") + c.text);
        WriteBytes(path, std::string("[HV]\nA=") + c.text + "\n");
        EXPECT_EQ(GetInt(path, "A"), c.expected) << c.text;
        std::remove(path.c_str());
    }
}

TEST(Profile, WritesCreateReplaceAndAppendWithCrLf)
{
    std::string path = ProfileTestPath("write-new");
    std::remove(path.c_str());
    struct WriteStep {
        const char* section;
        const char* key;
        const char* value;
        const char* file;
    };
    const WriteStep steps[] = {
        {"HV", "A", "1", "[HV]\r\nA=1\r\n"},
        {"HV", "B", "2", "[HV]\r\nA=1\r\nB=2\r\n"},
        {"HV", "a", "3", "[HV]\r\nA=3\r\nB=2\r\n"},
        {"Other", "K", "v", "[HV]\r\nA=3\r\nB=2\r\n[Other]\r\nK=v\r\n"},
        {"HV", "C", "", "[HV]\r\nA=3\r\nB=2\r\nC=\r\n[Other]\r\nK=v\r\n"},
        {"hv", "B", "-0.5000000000000", "[HV]\r\nA=3\r\nB=-0.5000000000000\r\nC=\r\n[Other]\r\nK=v\r\n"},
    };
    for (const WriteStep& s : steps) {
        EXPECT_TRUE(ProfileWriteString(s.section, s.key, s.value, path.c_str()));
        EXPECT_EQ(ReadBytes(path), s.file) << s.key << "=" << s.value;
    }
    std::remove(path.c_str());
}

TEST(Profile, WritesKeepOtherLinesAndTheKeysSpelling)
{
    struct EditCase {
        const char* name;
        const char* before;
        const char* key;
        const char* value;
        const char* after;
    };
    const EditCase cases[] = {
        {"unchanged-keeps-bytes", "[HV]\nA=1\n", "A", "1", "[HV]\nA=1\n"},
        {"spelling", "[HV]\r\na=1\r\n", "A", "2", "[HV]\r\na=2\r\n"},
        {"others-kept", "\xEF\xBB\xBF; top\r\n[Other]\r\nK=v\r\n[HV]\r\nA=1\r\nB=2\r\n[Z]\r\nQ=1\r\n", "A", "5",
         "\xEF\xBB\xBF; top\r\n[Other]\r\nK=v\r\n[HV]\r\nA=5\r\nB=2\r\n[Z]\r\nQ=1\r\n"},
        {"append-in-section", "; top\r\n[HV]\r\nA=1\r\nB=2\r\n[Z]\r\nQ=1\r\n", "C", "3",
         "; top\r\n[HV]\r\nA=1\r\nB=2\r\nC=3\r\n[Z]\r\nQ=1\r\n"},
        {"after-comment", "[HV]\r\nA=1\r\n;c\r\n[X]\r\nC=1\r\n", "B", "2",
         "[HV]\r\nA=1\r\n;c\r\nB=2\r\n[X]\r\nC=1\r\n"},
        {"key-without-value", "[HV]\r\nA\r\nB=1\r\n", "A", "2", "[HV]\r\nA=2\r\nB=1\r\n"},
        {"first-of-duplicates", "[HV]\r\nA=1\r\nA=2\r\n", "A", "3", "[HV]\r\nA=3\r\nA=2\r\n"},
        {"line-ends", "[HV]\rA=1\nB=2\r[X]\r\nC=1", "D", "4", "[HV]\r\nA=1\r\nB=2\r\nD=4\r\n[X]\r\nC=1\r\n"},
        {"new-section", "[X]\r\nC=1\r\n", "A", "1", "[X]\r\nC=1\r\n[HV]\r\nA=1\r\n"},
    };
    for (const EditCase& c : cases) {
        std::string path = ProfileTestPath(std::string("edit-") + c.name);
        WriteBytes(path, c.before);
        EXPECT_TRUE(ProfileWriteString("HV", c.key, c.value, path.c_str())) << c.name;
        EXPECT_EQ(ReadBytes(path), c.after) << c.name;
        std::remove(path.c_str());
    }
}

TEST(Profile, WritesToOddFilesReadBackAndKeepOtherSections)
{
    std::string path = ProfileTestPath("odd");
    WriteBytes(path, " [ hv ] \n\n  a  =  7  \n;note\n\n[X]\nK = v\n[HV]\nB=1\n");
    EXPECT_TRUE(ProfileWriteString("HV", "A", "8", path.c_str()));
    EXPECT_TRUE(ProfileWriteString("HV", "B", "9", path.c_str()));
    EXPECT_EQ(GetInt(path, "A"), 8);
    EXPECT_EQ(GetInt(path, "B"), 9);
    char buffer[32];
    ProfileGetString("X", "K", "", buffer, sizeof buffer, path.c_str());
    EXPECT_STREQ(buffer, "v");
    std::string bytes = ReadBytes(path);
    EXPECT_NE(bytes.find(";note"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    std::remove(path.c_str());
}

TEST(Profile, AWriteIntoAMissingDirectoryFails)
{
    std::string path = std::filesystem::absolute("no-such-directory").string() + "/settings.ini";
    EXPECT_FALSE(ProfileWriteString("HV", "A", "1", path.c_str()));
}

// A UTF-16LE file with its byte-order mark reads the same in every build,
// as the Windows functions read it; a character beyond the first plane, and
// the line ends of both kinds, included.
TEST(Profile, AUtf16FileReadsAsOnWindows)
{
    std::string path = ProfileTestPath("utf16-read");
    const std::string text = "[X]\r\nIterations=1\r\n[HV]\nNote=\xF0\x9F\x98\x80\r\nIterations=5\r\nX=0.25\n";
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 4, "\xF0\x9F\x98\x80") == 0) {  // U+1F600 as a surrogate pair
            bytes += std::string("\x3D\xD8\x00\xDE", 4);
            i += 3;
            continue;
        }
        bytes += text[i];
        bytes += '\0';
    }
    WriteBytes(path, bytes);
    EXPECT_EQ(GetInt(path, "Iterations"), 5);
    EXPECT_EQ(GetString(path, "X"), "0.25");
    EXPECT_EQ(GetString(path, "Missing"), "dd");
    std::remove(path.c_str());
}

#ifndef _WIN32
// Our own writer leaves UTF-16 files untouched rather than rewriting their
// bytes as lines.
TEST(Profile, AUtf16FileIsNotRewritten)
{
    std::string path = ProfileTestPath("utf16");
    const std::string bytes("\xFF\xFE[\0H\0V\0]\0\r\0\n\0A\0=\0" "1\0\r\0\n\0", 24);
    WriteBytes(path, bytes);
    EXPECT_EQ(GetInt(path, "A"), 1);
    EXPECT_FALSE(ProfileWriteString("HV", "A", "2", path.c_str()));
    EXPECT_EQ(ReadBytes(path), bytes);
    std::remove(path.c_str());
}
#endif
