#include "tests/support/test_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "core/handles.h"
#include "core/text.h"
#include "net/http_client.h"

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool serverCall(const std::wstring& method, const std::string& path, const std::string* body, std::string* reply)
{
    HttpResponse response;
    std::wstring error;
    HttpResult result = HttpClient::request(testServerUrl() + utf8ToWide(path), {}, body, method, DataSink(),
                                            response, error, nullptr);
    if (reply) *reply = response.body;
    if (result != HttpResult::Ok) {
        ADD_FAILURE() << "server control " << path << " failed: " << wideToUtf8(error) << " " << response.body;
        return false;
    }
    return true;
}

}  // namespace

std::wstring windowsPathFromUnix(const std::string& unixPath)
{
    std::wstring path = L"Z:" + utf8ToWide(unixPath);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring testServerUrl() { return utf8ToWide(environment("PAKVANE_TEST_SERVER")); }
std::wstring testTlsServerUrl() { return utf8ToWide(environment("PAKVANE_TEST_TLS_SERVER")); }
std::wstring testWorkDir() { return windowsPathFromUnix(environment("PAKVANE_TEST_WORK")); }
std::wstring testBuildDir() { return windowsPathFromUnix(environment("PAKVANE_TEST_BUILD")); }
std::wstring testSourceDir() { return windowsPathFromUnix(environment("PAKVANE_TEST_SOURCE")); }

std::wstring makeScratchDir(const std::wstring& name)
{
    static std::atomic<int> counter{0};
    std::wstring dir = testWorkDir() + L"\\" + name + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool serverPost(const std::string& path, const std::string& body, std::string* reply)
{
    return serverCall(L"POST", path, &body, reply);
}

bool serverGet(const std::string& path, std::string* reply) { return serverCall(L"GET", path, nullptr, reply); }

void resetServer() { serverPost("/_control/reset", "{}"); }

void addServerRule(const std::string& ruleJson) { serverPost("/_control/rule", ruleJson); }

void putServerFile(const std::string& name, const std::string& bytes) { serverPost("/_control/files/" + name, bytes); }

std::string fileBytes(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}
