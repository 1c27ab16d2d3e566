#include "net/install_report.h"

#include <windows.h>

#include "core/detached_thread.h"
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

void reportInstall(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel)
{
    startDetachedThread([serverUrl, appId, channel] { reportInstallSync(serverUrl, appId, channel); });
}
