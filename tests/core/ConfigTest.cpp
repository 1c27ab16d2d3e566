// The configuration store end to end: the real per-user file in the Wine
// prefix's %APPDATA%\Lorimund and the fallback file beside this executable.
// Both are backed up and restored around every test.

#include "core/config.h"
#include "core/config_text.h"
#include "core/handles.h"
#include "core/text.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

bool runningUnderWine()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void writeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    ASSERT_TRUE(file.valid()) << "cannot create " << wideToUtf8(path);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

// The file's bytes, read independently of readWholeFile; "<missing>" if absent.
std::string fileBytes(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char buffer[1024];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

std::wstring executableFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path = buffer;
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring roamingAppData()
{
    wchar_t buffer[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, buffer);
    return buffer;
}

::testing::AssertionResult sameConfig(const Config& actual, const Config& expected)
{
    if (actual.server == expected.server && actual.channel == expected.channel &&
        actual.downloadDir == expected.downloadDir)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got {" << wideToUtf8(actual.server) << " | " << wideToUtf8(actual.channel) << " | "
           << wideToUtf8(actual.downloadDir) << "}, expected {" << wideToUtf8(expected.server) << " | "
           << wideToUtf8(expected.channel) << " | " << wideToUtf8(expected.downloadDir) << "}";
}

// A file that must be put back as it was after the test.
struct SavedFile {
    std::wstring path;
    bool existed = false;
    std::string bytes;

    void save(const std::wstring& where)
    {
        path = where;
        existed = exists(path);
        if (existed) bytes = fileBytes(path);
        DeleteFileW(path.c_str());
    }
    void restore() const
    {
        DeleteFileW(path.c_str());
        if (existed) writeFile(path, bytes);
    }
};

class ConfigStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!runningUnderWine()) GTEST_SKIP() << "writes %APPDATA%: runs only in a throwaway Wine prefix";
        userFile_.save(configFilePath());
        fallbackFile_.save(executableFolder() + L"\\config.json");
        temporary_ = userFile_.path + L".tmp";
    }
    void TearDown() override
    {
        if (!runningUnderWine()) return;
        const std::wstring folder = roamingAppData() + L"\\Lorimund";
        if (exists(folder) && !isDirectory(folder)) DeleteFileW(folder.c_str());
        CreateDirectoryW(folder.c_str(), nullptr);
        RemoveDirectoryW(temporary_.c_str());
        DeleteFileW(temporary_.c_str());
        userFile_.restore();
        fallbackFile_.restore();
    }

    const std::wstring& userPath() const { return userFile_.path; }
    const std::wstring& fallbackPath() const { return fallbackFile_.path; }

    SavedFile userFile_;
    SavedFile fallbackFile_;
    std::wstring temporary_;
};

using ConfigPath = ConfigStore;
using ConfigRead = ConfigStore;
using ConfigLoad = ConfigStore;
using ConfigSave = ConfigStore;

const char kFullFile[] = "{\"server\":\"https://mirror.example\",\"channel\":\"beta\",\"downloadDir\":\"E:\\\\Apps\"}";

}  // namespace

TEST(ConfigDefaults, ServerIsHttpsWithoutTrailingSlash)
{
    const std::wstring server = defaultServerUrl;
    EXPECT_EQ(server.rfind(L"https://", 0), 0u);
    EXPECT_NE(server.back(), L'/');
    EXPECT_TRUE(sameConfig(defaultConfig(), Config{server, L"default", L""}));
}

TEST_F(ConfigPath, IsConfigJsonInLorimundUnderRoamingAppData)
{
    EXPECT_EQ(configFilePath(), roamingAppData() + L"\\Lorimund\\config.json");
}

TEST_F(ConfigPath, CreatesTheFolderWhenMissing)
{
    const std::wstring folder = roamingAppData() + L"\\Lorimund";
    DeleteFileW(temporary_.c_str());
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str())) << "the folder should hold nothing but config.json";
    ASSERT_FALSE(exists(folder));
    configFilePath();
    EXPECT_TRUE(isDirectory(folder));

    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    loadConfig();
    EXPECT_TRUE(isDirectory(folder)) << "every start creates the folder, even without a save";
}

TEST_F(ConfigRead, AppendsEveryByteOfAFileLargerThanOneChunk)
{
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes += static_cast<char>(i * 7 % 256);
    writeFile(userPath(), bytes);
    std::string out = "kept";
    ASSERT_TRUE(readWholeFile(userPath(), out));
    EXPECT_EQ(out, "kept" + bytes);
}

TEST_F(ConfigRead, EmptyFileIsReadAndMissingFileIsNot)
{
    writeFile(userPath(), "");
    std::string out = "x";
    EXPECT_TRUE(readWholeFile(userPath(), out));
    EXPECT_EQ(out, "x");
    EXPECT_FALSE(readWholeFile(userPath() + L".missing", out));
    EXPECT_EQ(out, "x");
}

TEST_F(ConfigLoad, DefaultsWhenNeitherFileExists)
{
    EXPECT_TRUE(sameConfig(loadConfig(), defaultConfig()));
}

TEST_F(ConfigLoad, DefaultsForEveryKindOfBadFile)
{
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "empty file"},
        {" \r\n\t", "only whitespace"},
        {"\xEF\xBB\xBF", "only a byte order mark"},
        {"{", "cut short"},
        {"{\"server\":\"https://a.example\",\"channel\":\"x\"", "valid members but no closing brace"},
        {"{\"channel\":\"x\"} trailing", "trailing text"},
        {"{'channel':'x'}", "single quotes"},
        {"\x00\x01\x02\xFF"s, "binary"},
        {"[{\"channel\":\"x\"}]", "an array root"},
        {"\"channel\"", "a string root"},
        {"null", "a null root"},
        {"{\"server\":1,\"channel\":true,\"downloadDir\":[\"D:\\\\Soft\"]}", "members of the wrong type"},
        {"{\"server\":\"\",\"channel\":\"\",\"downloadDir\":\"\"}", "empty values"},
        {"{\"Server\":\"https://a.example\",\"CHANNEL\":\"x\"}", "keys in the wrong case"},
    };
    for (const auto& c : cases) {
        writeFile(userPath(), c.text);
        EXPECT_TRUE(sameConfig(loadConfig(), defaultConfig())) << c.why;
    }
}

TEST_F(ConfigLoad, NormalisesEachValue)
{
    const std::wstring server = defaultServerUrl;
    const struct {
        std::string text;
        Config expected;
    } cases[] = {
        {R"({"server":"https://a.example///"})", {L"https://a.example", L"default", L""}},
        {R"({"server":"https://a.example/api/"})", {L"https://a.example/api", L"default", L""}},
        {R"({"server":"https://a.example\\"})", {L"https://a.example\\", L"default", L""}},
        {R"({"server":"///"})", {server, L"default", L""}},
        {R"({"server":42})", {server, L"default", L""}},
        {R"({"server":" http://x "})", {L" http://x ", L"default", L""}},
        {R"({"channel":"beta/"})", {server, L"beta/", L""}},
        {R"({"channel":" "})", {server, L" ", L""}},
        {R"({"channel":"\u6d4b\u8bd5"})", {server, L"\x6D4B\x8BD5", L""}},
        {R"({"channel":null})", {server, L"default", L""}},
        {R"({"downloadDir":"D:\\"})", {server, L"default", L""}},
        {R"({"downloadDir":"D:"})", {server, L"default", L""}},
        {R"({"downloadDir":"D:\\Soft\\"})", {server, L"default", L"D:\\Soft"}},
        {R"({"downloadDir":"D:/Soft//"})", {server, L"default", L"D:/Soft"}},
        {R"({"downloadDir":"D:\\Soft/\\/"})", {server, L"default", L"D:\\Soft"}},
        {R"({"downloadDir":"D:\\/\\"})", {server, L"default", L""}},
        {R"({"downloadDir":"ab"})", {server, L"default", L""}},
        {R"({"downloadDir":"abc"})", {server, L"default", L"abc"}},
        {R"({"downloadDir":"\\\\srv\\share\\"})", {server, L"default", L"\\\\srv\\share"}},
        {R"({"downloadDir":"Z:\\does\\not\\exist"})", {server, L"default", L"Z:\\does\\not\\exist"}},
        {R"({"downloadDir":"D:\\\u4e0b\u8f7d"})", {server, L"default", L"D:\\\x4E0B\x8F7D"}},
        {R"({"server":null,"channel":"x","downloadDir":7})", {server, L"x", L""}},
    };
    for (const auto& c : cases) {
        writeFile(userPath(), c.text);
        EXPECT_TRUE(sameConfig(loadConfig(), c.expected)) << c.text;
    }
}

TEST_F(ConfigLoad, IgnoresOtherMembersAndTheirOrder)
{
    writeFile(userPath(), "{\n\"downloadDir\": \"E:\\\\Apps\", \"extra\": {\"x\": [1, 2]},\n"
                          "\"channel\": \"ch\", \"version\": 3, \"server\": \"https://s.example\"}");
    EXPECT_TRUE(sameConfig(loadConfig(), Config{L"https://s.example", L"ch", L"E:\\Apps"}));
}

TEST_F(ConfigLoad, FirstOfDuplicateMembersWins)
{
    writeFile(userPath(), R"({"channel":"first","channel":"second","server":"","server":"https://later"})");
    EXPECT_TRUE(sameConfig(loadConfig(), Config{defaultServerUrl, L"first", L""}));
}

TEST_F(ConfigLoad, AcceptsAByteOrderMark)
{
    writeFile(userPath(), "\xEF\xBB\xBF" + std::string(kFullFile));
    EXPECT_TRUE(sameConfig(loadConfig(), Config{L"https://mirror.example", L"beta", L"E:\\Apps"}));
}

TEST_F(ConfigLoad, FallsBackToTheFileBesideTheExecutable)
{
    writeFile(fallbackPath(), kFullFile);
    EXPECT_TRUE(sameConfig(loadConfig(), Config{L"https://mirror.example", L"beta", L"E:\\Apps"}));
}

TEST_F(ConfigLoad, EmptyUserFileDoesNotFallBack)
{
    writeFile(userPath(), "");
    writeFile(fallbackPath(), kFullFile);
    EXPECT_TRUE(sameConfig(loadConfig(), defaultConfig()));
}

TEST_F(ConfigLoad, MalformedUserFileDoesNotFallBack)
{
    writeFile(userPath(), "{");
    writeFile(fallbackPath(), kFullFile);
    EXPECT_TRUE(sameConfig(loadConfig(), defaultConfig()));
}

TEST_F(ConfigLoad, UserFileThatCannotBeOpenedFallsBack)
{
    writeFile(userPath(), R"({"channel":"locked"})");
    writeFile(fallbackPath(), kFullFile);
    UniqueFile lock(CreateFileW(userPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    ASSERT_TRUE(lock.valid());
    EXPECT_TRUE(sameConfig(loadConfig(), Config{L"https://mirror.example", L"beta", L"E:\\Apps"}));
}

TEST_F(ConfigSave, WritesTheExactFileText)
{
    const Config config{L"https://a.example", L"beta", L"D:\\\x4E0B\x8F7D\\\x8F6F\x4EF6"};
    ASSERT_TRUE(saveConfig(config));
    EXPECT_EQ(fileBytes(userPath()),
              "{\n"
              "  \"server\": \"https://a.example\",\n"
              "  \"channel\": \"beta\",\n"
              "  \"downloadDir\": \"D:\\\\\xE4\xB8\x8B\xE8\xBD\xBD\\\\\xE8\xBD\xAF\xE4\xBB\xB6\"\n"
              "}\n");
    EXPECT_FALSE(exists(temporary_)) << "no temporary file is left behind";
}

TEST_F(ConfigSave, EscapesQuotesAndControlCharacters)
{
    ASSERT_TRUE(saveConfig(Config{L"https://a.example/", L"a\"b\tc\x01", L""}));
    EXPECT_EQ(fileBytes(userPath()),
              "{\n"
              "  \"server\": \"https://a.example/\",\n"
              "  \"channel\": \"a\\\"b\\tc\\u0001\",\n"
              "  \"downloadDir\": \"\"\n"
              "}\n")
        << "values are written as they stand, without normalising";
}

TEST_F(ConfigSave, RoundTripsAChineseFolderPath)
{
    const Config config{L"https://\x4E2D\x6587.example/x", L"\x6D4B\x8BD5", L"C:\\Users\\\x7528\x6237\\\x4E0B\x8F7D"};
    ASSERT_TRUE(saveConfig(config));
    EXPECT_TRUE(sameConfig(loadConfig(), config));
}

TEST_F(ConfigSave, ReplacesALongerPreviousFileCompletely)
{
    writeFile(userPath(), "{\"server\":\"https://a-much-longer-server-name.example\",\"channel\":\"x\"," +
                              std::string(4000, ' ') + "\"downloadDir\":\"D:\\\\Old\"}");
    ASSERT_TRUE(saveConfig(Config{L"https://b", L"c", L""}));
    EXPECT_EQ(fileBytes(userPath()), "{\n  \"server\": \"https://b\",\n  \"channel\": \"c\",\n  \"downloadDir\": \"\"\n}\n");
}

TEST_F(ConfigSave, WritesOnlyThePerUserFile)
{
    writeFile(fallbackPath(), kFullFile);
    Config loaded = loadConfig();
    loaded.channel = L"changed";
    ASSERT_TRUE(saveConfig(loaded));
    EXPECT_EQ(fileBytes(fallbackPath()), kFullFile);
    EXPECT_TRUE(sameConfig(loadConfig(), Config{L"https://mirror.example", L"changed", L"E:\\Apps"}));
}

TEST_F(ConfigSave, FailureToCreateTheTemporaryFileLeavesThePreviousFile)
{
    writeFile(userPath(), kFullFile);
    ASSERT_TRUE(CreateDirectoryW(temporary_.c_str(), nullptr));
    EXPECT_FALSE(saveConfig(Config{L"https://b", L"c", L""}));
    EXPECT_EQ(fileBytes(userPath()), kFullFile);
}

TEST_F(ConfigSave, FailureToReplaceLeavesThePreviousFileAndNoTemporary)
{
    writeFile(userPath(), kFullFile);
    {
        // Nobody may delete or rename the file while this handle is open.
        UniqueFile lock(CreateFileW(userPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock.valid());
        EXPECT_FALSE(saveConfig(Config{L"https://b", L"c", L""}));
        EXPECT_FALSE(exists(temporary_));
    }
    EXPECT_EQ(fileBytes(userPath()), kFullFile);
}

TEST_F(ConfigSave, FailureWhenTheFolderIsAFile)
{
    const std::wstring folder = roamingAppData() + L"\\Lorimund";
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    writeFile(folder, "not a folder");
    EXPECT_FALSE(saveConfig(Config{L"https://b", L"c", L""}));
    EXPECT_EQ(fileBytes(folder), "not a folder");
}
