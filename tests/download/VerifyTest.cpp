#include "download/verify.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/handles.h"
#include "tests/support/test_server.h"

namespace {

bool writeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Byte i is i % 251: a period that never lines up with the 64 KiB blocks.
std::string patternBytes(size_t count)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

std::string md5Of(const std::wstring& path)
{
    std::string out = "untouched";
    EXPECT_TRUE(fileMd5Hex(path, out));
    return out;
}

class FileMd5Hex : public testing::Test {
protected:
    std::wstring dir = makeScratchDir(L"md5");
};

}  // namespace

TEST_F(FileMd5Hex, KnownDigestsOfSmallFiles)
{
    struct Case {
        const char* name;
        std::string bytes;
        const char* md5;
    };
    const Case cases[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"fox", "The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {"one-zero-byte", std::string(1, '\0'), "93b885adfe0da089cdf634904fd59f71"},
    };
    for (const Case& c : cases) {
        std::wstring path = dir + L"\\" + std::wstring(c.name, c.name + strlen(c.name)) + L".bin";
        ASSERT_TRUE(writeFile(path, c.bytes));
        EXPECT_EQ(md5Of(path), c.md5) << c.name;
    }
}

TEST_F(FileMd5Hex, FilesAroundTheBlockBoundaries)
{
    struct Case {
        size_t size;
        const char* md5;
    };
    const Case cases[] = {
        {65535, "89378be93d51bbd3a9aa65e920103692"},  {65536, "9cc60713923528a1dd94e1c1ab0ebc9e"},
        {65537, "4c2641c7fe5c93d3aed7c406629ff0ab"},  {131072, "d02199a197fb4b1777525fe375f9f5f1"},
        {131073, "060bb13f48ee4b4ef00c6e28d0f4fce8"}, {1000000, "35efddb2811ce9ecbdfa17f18472e604"},
    };
    for (const Case& c : cases) {
        std::wstring path = dir + L"\\pattern-" + std::to_wstring(c.size) + L".bin";
        ASSERT_TRUE(writeFile(path, patternBytes(c.size)));
        EXPECT_EQ(md5Of(path), c.md5) << c.size << " bytes";
    }
}

TEST_F(FileMd5Hex, DigestIsLowerCaseHex)
{
    std::wstring path = dir + L"\\abc.bin";
    ASSERT_TRUE(writeFile(path, "abc"));
    std::string digest = md5Of(path);
    ASSERT_EQ(digest.size(), 32u);
    for (char c : digest) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << digest;
}

TEST_F(FileMd5Hex, PathWithChineseCharacters)
{
    std::wstring path = dir + L"\\微信 安装包.exe";
    ASSERT_TRUE(writeFile(path, "abc"));
    EXPECT_EQ(md5Of(path), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(FileMd5Hex, MissingFileFailsAndLeavesOutUntouched)
{
    std::string out = "previous value";
    EXPECT_FALSE(fileMd5Hex(dir + L"\\no-such-file.bin", out));
    EXPECT_EQ(out, "previous value");
    EXPECT_FALSE(fileMd5Hex(dir + L"\\no-such-folder\\file.bin", out));
    EXPECT_EQ(out, "previous value");
}

TEST_F(FileMd5Hex, FolderFailsAndLeavesOutUntouched)
{
    std::string out = "previous value";
    EXPECT_FALSE(fileMd5Hex(dir, out));
    EXPECT_EQ(out, "previous value");
}

TEST_F(FileMd5Hex, FileOpenForWritingElsewhereFails)
{
    // The digest allows other readers only; a writer still at work keeps it out.
    std::wstring path = dir + L"\\busy.bin";
    ASSERT_TRUE(writeFile(path, "abc"));
    UniqueFile writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.valid());
    std::string out = "previous value";
    EXPECT_FALSE(fileMd5Hex(path, out));
    EXPECT_EQ(out, "previous value");

    writer.reset();
    EXPECT_EQ(md5Of(path), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(FileMd5Hex, ReadersSharingTheFileDoNotStopIt)
{
    std::wstring path = dir + L"\\shared.bin";
    ASSERT_TRUE(writeFile(path, "abc"));
    UniqueFile reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader.valid());
    EXPECT_EQ(md5Of(path), "900150983cd24fb0d6963f7d28e17f72");
}
