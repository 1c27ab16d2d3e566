#include "net/install_report.h"

#include <windows.h>

#include <memory>

#include "core/handles.h"
#include "core/json.h"
#include "core/text.h"
#include "net/http_client.h"

std::string installReportBody(int32_t appId, const std::wstring& channel)
{
    return "{\"appId\":" + std::to_string(appId) + ",\"event\":\"install\",\"channel\":\"" +
           json::escape(wideToUtf8(channel)) + "\"}";
}

bool reportInstallSync(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel)
{
    const std::string body = installReportBody(appId, channel);
    const HttpHeaders headers = {{L"Content-Type", L"application/json"}};
    HttpResponse response;
    std::wstring errorText;
    return HttpClient::request(serverUrl + L"/api/client/report", headers, &body, L"POST", DataSink(), response,
                               errorText, nullptr) == HttpResult::Ok;
}

namespace {

struct ReportStart {
    std::wstring serverUrl;
    int32_t appId;
    std::wstring channel;
};

DWORD WINAPI reportWorker(LPVOID param)
{
    std::unique_ptr<ReportStart> start(static_cast<ReportStart*>(param));
    reportInstallSync(start->serverUrl, start->appId, start->channel);
    return 0;
}

}  // namespace

void reportInstall(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel)
{
    auto start = std::make_unique<ReportStart>(ReportStart{serverUrl, appId, channel});
    UniqueHandle thread(CreateThread(nullptr, 0, reportWorker, start.get(), 0, nullptr));
    if (thread) start.release();
}
