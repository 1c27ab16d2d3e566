// The crash log end to end: crash_helper installs the filter and crashes on
// purpose, with TEMP and TMP pointing at a folder whose name has characters
// outside the ANSI code page. Each crash must add exactly one whole line.

#include "core/handles.h"
#include "core/text.h"
#include "tests/support/test_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLoggedExit = 3;  // crash_helper: the filter answered EXCEPTION_CONTINUE_SEARCH
constexpr DWORD kHelperDeadlineMs = 120000;

std::wstring executableFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path = buffer;
    return path.substr(0, path.find_last_of(L"\\/"));
}

// Lines without their CR LF; text after the last CR LF counts as a line too.
std::vector<std::string> linesOf(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The current environment with TEMP and TMP replaced, as a block for CreateProcessW.
std::vector<wchar_t> environmentWithTemp(const std::wstring& temp)
{
    std::vector<wchar_t> block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"TEMP=", 5) == 0 || _wcsnicmp(entry, L"TMP=", 4) == 0) continue;
        block.insert(block.end(), entry, entry + wcslen(entry) + 1);
    }
    FreeEnvironmentStringsW(strings);
    for (const wchar_t* name : {L"TEMP=", L"TMP="}) {
        std::wstring entry = name + temp;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// The helper's SizeOfImage: every offset inside it is smaller.
uint64_t helperImageSize(const std::wstring& path)
{
    const std::string bytes = fileBytes(path);
    if (bytes.size() < 0x40) return 0;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    if (static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > bytes.size()) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
    return nt->OptionalHeader.SizeOfImage;
}

class CrashLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        outer_ = std::wstring(temp) + L"pakvane-crash-" + std::to_wstring(GetCurrentProcessId());
        // Chinese and Cyrillic: no single ANSI code page holds both.
        folder_ = outer_ + L"\\崩溃日志 Журнал";
        removeFolder();
        ASSERT_TRUE(CreateDirectoryW(outer_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        log_ = folder_ + L"\\kx_crash.log";
        helper_ = executableFolder() + L"\\crash_helper.exe";
        ASSERT_NE(GetFileAttributesW(helper_.c_str()), INVALID_FILE_ATTRIBUTES) << "crash_helper.exe is not built";
    }
    void TearDown() override { removeFolder(); }

    void removeFolder()
    {
        DeleteFileW((folder_ + L"\\kx_crash.log").c_str());
        RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(outer_.c_str());
    }

    // Runs the helper with TEMP and TMP set to folder_ + "\"; its exit code.
    DWORD runHelper(const wchar_t* mode)
    {
        std::wstring command = L"\"" + helper_ + L"\" " + mode;
        std::vector<wchar_t> environment = environmentWithTemp(folder_ + L"\\");
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(helper_.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                            environment.data(), nullptr, &startup, &process)) {
            ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
            return ~0u;
        }
        UniqueHandle processHandle(process.hProcess);
        UniqueHandle threadHandle(process.hThread);
        if (WaitForSingleObject(process.hProcess, kHelperDeadlineMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            ADD_FAILURE() << "crash_helper " << wideToUtf8(mode) << " did not end";
            return ~0u;
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    std::wstring outer_;
    std::wstring folder_;
    std::wstring log_;
    std::wstring helper_;
};

const std::regex kLinePattern("code=([0-9A-F]{8}) rva=([0-9A-F]{16}) frames:((?: [0-9A-F]{16}){1,16})");

void expectAccessViolationLine(const std::string& line, uint64_t imageSize)
{
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kLinePattern)) << line;
    EXPECT_EQ(match[1].str(), "C0000005");
    // The faulting store is in the helper's own code.
    EXPECT_LT(std::stoull(match[2].str(), nullptr, 16), imageSize) << line;
    // The first frame is the filter itself, also in the helper.
    EXPECT_LT(std::stoull(match[3].str().substr(1, 16), nullptr, 16), imageSize) << line;
}

}  // namespace

TEST_F(CrashLog, EachCrashAppendsOneLineAndKeepsTheEarlierOnes)
{
    const uint64_t imageSize = helperImageSize(helper_);
    ASSERT_GT(imageSize, 0u);

    ASSERT_EQ(runHelper(L"main"), kLoggedExit);
    const std::string first = fileBytes(log_);
    std::vector<std::string> lines = linesOf(first);
    ASSERT_EQ(lines.size(), 1u) << first;
    ASSERT_EQ(first.substr(first.size() - 2), "\r\n");
    expectAccessViolationLine(lines[0], imageSize);

    ASSERT_EQ(runHelper(L"worker"), kLoggedExit);
    const std::string both = fileBytes(log_);
    lines = linesOf(both);
    ASSERT_EQ(lines.size(), 2u) << both;
    EXPECT_EQ(both.substr(0, first.size()), first) << "the first line must stay as it was";
    expectAccessViolationLine(lines[1], imageSize);
}

TEST_F(CrashLog, ThreadsLoggingAtOnceWriteWholeLines)
{
    ASSERT_EQ(runHelper(L"concurrent"), 0u);
    const std::string bytes = fileBytes(log_);
    const std::vector<std::string> lines = linesOf(bytes);
    ASSERT_EQ(lines.size(), 400u);
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, kLinePattern)) << line;
}
