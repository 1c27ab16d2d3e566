// How fast a cancel lets go, on this platform: a download is cancelled while
// its body flows (throttled) and while it is stalled, and the benchmark times
// the task's state 4, the worker's end, the server seeing the connection
// closed and the request slot coming back. Driven by cancel_bench.sh, which
// starts the development server.
//
// cancel_bench.exe <server url> [rounds]
// Prints one line per round and a median per kind, in milliseconds.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/json.h"
#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/http_client.h"
#include "tests/support/download_manager_access.h"

namespace {

constexpr int32_t kTaskId = 1;
constexpr int kSize = 4000000;

std::wstring g_server;

std::string control(const std::wstring& method, const std::string& path, const std::string& body = "")
{
    HttpResponse response;
    std::wstring error;
    HttpClient::request(g_server + utf8ToWide(path), {}, method == L"POST" ? &body : nullptr, method, DataSink(),
                        response, error, nullptr);
    return response.body;
}

int openConnections()
{
    std::shared_ptr<json::Value> log = json::parse(control(L"GET", "/_control/log"));
    const json::Value* count = log ? log->get("openConnections") : nullptr;
    return count ? count->asInt(-1) : -1;
}

double milliseconds(const LARGE_INTEGER& from)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Round {
    double state = -1, worker = -1, closed = -1, slot = -1;
};

Round cancelOnce(const char* transferStep, int64_t bytesBeforeCancel)
{
    control(L"POST", "/_control/reset", "{}");
    const std::string path = "/_bytes/" + std::to_string(kSize);
    control(L"POST", "/_control/rule", "{\"path\":\"" + path + "\",\"steps\":[{}," + transferStep + "]}");
    DownloadManager& manager = DownloadManager::instance();
    manager.startDownload(kTaskId, L"cancel-bench", wideToUtf8(g_server) + path, "", kSize);
    std::shared_ptr<Task> task = manager.findTask(kTaskId);
    Round round;
    if (!task) return round;
    for (int i = 0; i < 6000 && task->received.load() < bytesBeforeCancel; ++i) Sleep(5);
    Sleep(200);  // inside WinHTTP's wait by now

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    manager.cancel(kTaskId);
    round.state = task->state.load() == TaskState::Cancelled ? milliseconds(start) : -1;
    // Each moment is noted the first time it is seen; bounded at 120 s.
    while (milliseconds(start) < 120000 && (round.worker < 0 || round.closed < 0 || round.slot < 0)) {
        if (round.worker < 0 && WaitForSingleObject(task->thread.get(), 0) == WAIT_OBJECT_0)
            round.worker = milliseconds(start);
        if (round.slot < 0 && DownloadManagerTestAccess::activeRequests() == 0) round.slot = milliseconds(start);
        if (round.closed < 0 && openConnections() == 0) round.closed = milliseconds(start);
        Sleep(2);
    }
    manager.clearFinished();
    return round;
}

double median(std::vector<double> values)
{
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: cancel_bench.exe <server url> [rounds]\n");
        return 2;
    }
    g_server = argv[1];
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    setDownloadFolderOverride(std::wstring(temp) + L"pakvane-cancel-bench");

    const struct {
        const char* name;
        const char* step;
        int64_t bytes;
    } kinds[] = {
        {"flowing", "{\"bytesPerSecond\":200000}", 100000},
        {"stalled", "{\"hostile\":\"stall\"}", kSize / 2},
    };
    for (const auto& kind : kinds) {
        std::vector<double> state, worker, closed, slot;
        for (int r = 0; r < rounds; ++r) {
            const Round round = cancelOnce(kind.step, kind.bytes);
            std::printf("%s round=%d state4=%.1f worker_end=%.1f server_sees_close=%.1f slot_back=%.1f\n", kind.name,
                        r + 1, round.state, round.worker, round.closed, round.slot);
            std::fflush(stdout);
            state.push_back(round.state);
            worker.push_back(round.worker);
            closed.push_back(round.closed);
            slot.push_back(round.slot);
        }
        std::printf("%s median: state4=%.1f worker_end=%.1f server_sees_close=%.1f slot_back=%.1f ms\n", kind.name,
                    median(state), median(worker), median(closed), median(slot));
    }
    return 0;
}
