// The crash log's line: exact text, the frame limit and a buffer that is too
// small. Platform-free.

#include "app/crash_line.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string line(uint32_t code, uint64_t rva, const std::vector<uint64_t>& frames,
                 size_t capacity = kCrashLineCapacity)
{
    std::vector<char> buffer(capacity + 1, '#');
    size_t length = formatCrashLine(buffer.data(), capacity, code, rva, frames.data(), frames.size());
    if (length == 0) return "<none>";
    EXPECT_EQ(buffer[length], '\0');
    return std::string(buffer.data(), length);
}

}  // namespace

TEST(CrashLine, UppercaseZeroPaddedHexAndCrLf)
{
    EXPECT_EQ(line(0xC0000005u, 0x1234, {0x10, 0xFFFFFFFFFFFFFFF0ull}),
              "code=C0000005 rva=0000000000001234 frames: 0000000000000010 FFFFFFFFFFFFFFF0\r\n");
    EXPECT_EQ(line(0xdeadbeefu, 0, {}), "code=DEADBEEF rva=0000000000000000 frames:\r\n");
    EXPECT_EQ(line(5, 0xABCDEF0123456789ull, {1}),
              "code=00000005 rva=ABCDEF0123456789 frames: 0000000000000001\r\n");
}

TEST(CrashLine, TakesAtMostSixteenFrames)
{
    std::vector<uint64_t> frames;
    for (uint64_t i = 1; i <= 20; ++i) frames.push_back(i);
    const std::string text = line(0xC0000005u, 0, frames);
    EXPECT_EQ(text.size(), 42u + 16u * 17u + 2u);
    EXPECT_NE(text.find(" 0000000000000010\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find(" 0000000000000011"), std::string::npos) << text;
}

TEST(CrashLine, NothingWhenTheBufferIsTooSmall)
{
    const std::vector<uint64_t> frames(16, 0x42);
    const size_t full = 42 + 16 * 17 + 2;
    EXPECT_EQ(line(1, 2, frames, full + 1).size(), full);
    EXPECT_EQ(line(1, 2, frames, full), "<none>");
    EXPECT_EQ(line(1, 2, {}, 10), "<none>");
    EXPECT_EQ(formatCrashLine(nullptr, 0, 1, 2, nullptr, 0), 0u);
}
