// Whole-file writes: the destination is replaced only by a complete file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Platform.h"

static std::string ReadAll(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WriteWholeFile, WritesThePartsInOrderAndReplacesAnOldFile)
{
    const char* path = "whole-file-test.bin";
    std::remove(path);
    std::string error;
    FilePart first[] = {{"old", 3}};
    ASSERT_TRUE(WriteWholeFile(path, first, 1, error)) << error;
    FilePart parts[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
    ASSERT_TRUE(WriteWholeFile(path, parts, 3, error)) << error;
    EXPECT_EQ(ReadAll(path), "abcde");
    EXPECT_EQ(ReadAll("whole-file-test.bin.tmp"), "") << "no temporary file is left behind";
    std::remove(path);
}

TEST(WriteWholeFile, AFailureKeepsNothingAndReportsTheReason)
{
    std::string error;
    FilePart parts[] = {{"x", 1}};
    EXPECT_FALSE(WriteWholeFile("no-such-directory/output.bmp", parts, 1, error));
    EXPECT_FALSE(error.empty());
}
