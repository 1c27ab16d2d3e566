// The install report: its exact body, what the server receives, and that the
// asynchronous form never holds its caller.

#include "net/install_report.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "core/json.h"
#include "core/text.h"
#include "tests/support/test_server.h"

namespace {

class InstallReportServer : public ::testing::Test {
protected:
    void SetUp() override { resetServer(); }
    void TearDown() override { resetServer(); }
};

using ReportInstallAsync = InstallReportServer;

std::shared_ptr<json::Value> serverJson(const std::string& path)
{
    std::string reply;
    if (!serverGet(path, &reply)) return nullptr;
    return json::parse(reply);
}

// The requests to /api/client/report the server has seen, and how many of all
// requests are still unanswered.
std::vector<const json::Value*> reportRequests(const json::Value& log)
{
    std::vector<const json::Value*> found;
    if (const json::Value* requests = log.get("requests"))
        for (const auto& r : requests->array)
            if (r && r->get("path") && r->get("path")->asString("") == "/api/client/report") found.push_back(r.get());
    return found;
}

TEST(InstallReportBody, ExactBytes)
{
    const struct {
        int32_t appId;
        std::wstring channel;
        std::string body;
    } cases[] = {
        {42, L"default", "{\"appId\":42,\"event\":\"install\",\"channel\":\"default\"}"},
        {-7, L"", "{\"appId\":-7,\"event\":\"install\",\"channel\":\"\"}"},
        {INT32_MIN, L"x", "{\"appId\":-2147483648,\"event\":\"install\",\"channel\":\"x\"}"},
        {1, L"a\"b\\c", "{\"appId\":1,\"event\":\"install\",\"channel\":\"a\\\"b\\\\c\"}"},
        {1, L"t\tn\nr\r\x01\x1f", "{\"appId\":1,\"event\":\"install\",\"channel\":\"t\\tn\\nr\\r\\u0001\\u001f\"}"},
        {1, L"渠道/~", "{\"appId\":1,\"event\":\"install\",\"channel\":\"\xE6\xB8\xA0\xE9\x81\x93/~\"}"},
    };
    for (const auto& c : cases) EXPECT_EQ(installReportBody(c.appId, c.channel), c.body);
    EXPECT_EQ(installReportBody(42, L"default").size(), 50u);
}

TEST_F(InstallReportServer, ServerReceivesTheChannelIntact)
{
    const std::wstring channels[] = {L"default", L"say \"hi\"", L"C:\\dir\\", L"line\nfeed\ttab\x01\x1f",
                                     L"官方渠道 😀"};
    // The reports file lives as long as the server: look only at what this test adds.
    std::shared_ptr<json::Value> before = serverJson("/_control/reports");
    ASSERT_TRUE(before && before->get("reports"));
    const size_t earlier = before->get("reports")->array.size();
    int32_t appId = 100;
    for (const std::wstring& channel : channels) {
        SCOPED_TRACE(wideToUtf8(channel));
        EXPECT_TRUE(reportInstallSync(testServerUrl(), appId++, channel));
    }
    std::shared_ptr<json::Value> reports = serverJson("/_control/reports");
    ASSERT_TRUE(reports);
    const json::Value* list = reports->get("reports");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->array.size(), earlier + 5);
    for (size_t i = 0; i < 5; ++i) {
        const json::Value& report = *list->array[earlier + i];
        EXPECT_EQ(report.get("appId")->asInt(0), static_cast<int32_t>(100 + i));
        EXPECT_EQ(report.get("event")->asString(""), "install");
        EXPECT_EQ(report.get("channel")->asString(""), wideToUtf8(channels[i]));
    }

    // On the wire: exactly the body, sent as JSON.
    std::shared_ptr<json::Value> log = serverJson("/_control/log");
    ASSERT_TRUE(log);
    std::vector<const json::Value*> requests = reportRequests(*log);
    ASSERT_EQ(requests.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(requests[i]->get("method")->asString(""), "POST");
        EXPECT_EQ(requests[i]->get("body")->asString(""),
                  installReportBody(static_cast<int32_t>(100 + i), channels[i]));
        const json::Value* headers = requests[i]->get("headers");
        ASSERT_TRUE(headers);
        EXPECT_EQ(headers->get("Content-Type")->asString(""), "application/json");
    }
}

TEST_F(InstallReportServer, FailureIsFalse)
{
    addServerRule("{\"path\":\"/api/client/report\",\"then\":{\"status\":500,\"body\":\"down\"}}");
    EXPECT_FALSE(reportInstallSync(testServerUrl(), 1, L"default"));
    EXPECT_FALSE(reportInstallSync(L"http://127.0.0.1:9", 1, L"default"));
}

TEST_F(ReportInstallAsync, ReturnsWhileTheServerHoldsTheRequest)
{
    addServerRule("{\"path\":\"/api/client/report\",\"then\":{\"hang\":true}}");
    reportInstall(testServerUrl(), 42, L"default");
    // Back here already. A call that waited for the answer would have come back
    // only after the client's time-out, with the request no longer in flight.
    std::shared_ptr<json::Value> log;
    for (int i = 0; i < 300; ++i) {
        log = serverJson("/_control/log");
        ASSERT_TRUE(log);
        if (!reportRequests(*log).empty()) break;
        Sleep(50);
    }
    ASSERT_EQ(reportRequests(*log).size(), 1u);
    EXPECT_EQ(log->get("inFlight")->asInt(0), 1);
    EXPECT_EQ(reportRequests(*log)[0]->get("body")->asString(""), installReportBody(42, L"default"));
}

TEST_F(ReportInstallAsync, ReportArrivesFromTheWorker)
{
    reportInstall(testServerUrl(), 7, L"渠道\"x\"");
    std::shared_ptr<json::Value> reports;
    for (int i = 0; i < 300; ++i) {
        reports = serverJson("/_control/reports");
        ASSERT_TRUE(reports);
        const json::Value* list = reports->get("reports");
        if (list && !list->array.empty() && list->array.back()->get("appId") &&
            list->array.back()->get("appId")->asInt(0) == 7)
            break;
        Sleep(50);
    }
    ASSERT_TRUE(reports->get("reports"));
    ASSERT_FALSE(reports->get("reports")->array.empty()) << "no report arrived";
    const json::Value& last = *reports->get("reports")->array.back();
    ASSERT_TRUE(last.get("appId") && last.get("channel"));
    EXPECT_EQ(last.get("appId")->asInt(0), 7);
    EXPECT_EQ(last.get("channel")->asString(""), "渠道\"x\"");
}

}  // namespace
