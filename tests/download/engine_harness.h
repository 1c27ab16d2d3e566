#pragma once
// Helpers for the download-engine tests: test files on the development server,
// a message-only window that collects what the engine posts, waiting for
// workers, and the server's request log.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "download/download_manager.h"

namespace enginetest {

// n bytes of a fixed pseudo-random pattern; the seed makes files differ.
std::string patternBytes(size_t n, uint32_t seed);
// The whole file, or false when it cannot be read.
bool readWholeFile(const std::wstring& path, std::string& out);
bool fileExists(const std::wstring& path);
int64_t fileSize(const std::wstring& path);
// -1 when equal, else the first offset where the two differ (or the shorter length).
int64_t firstDifference(const std::string& a, const std::string& b);
void writeWholeFile(const std::wstring& path, const std::string& bytes);

// UTF-8 URL of /files/<name> on the test server.
std::string fileUrl(const std::string& name);

// One request as the server logged it.
struct LoggedRequest {
    std::string path;
    std::string range;    // empty when no Range header was sent
    std::string ifRange;  // empty when no If-Range header was sent
};
struct ServerLog {
    std::vector<LoggedRequest> requests;
    int maxInFlight = 0;
    int openConnections = 0;     // connections that carried a test request and are still open
    int maxOpenConnections = 0;
};
ServerLog serverLog();
// The requests to one path, in order.
std::vector<LoggedRequest> requestsTo(const ServerLog& log, const std::string& path);

// A message-only window set as the manager's hwnd for its lifetime.
class MessageCollector {
public:
    MessageCollector();
    ~MessageCollector();
    MessageCollector(const MessageCollector&) = delete;
    MessageCollector& operator=(const MessageCollector&) = delete;
    // Takes every message posted so far (message, wParam), in order.
    std::vector<std::pair<UINT, WPARAM>> take();

private:
    HWND window_ = nullptr;
};

// Waits (bounded) until the task's worker thread has ended.
bool waitForWorker(const std::shared_ptr<Task>& task, DWORD milliseconds = 60000);
// Polls (bounded) until pred() holds; false on time-out.
template <typename Pred>
bool waitUntil(Pred pred, DWORD milliseconds = 30000)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 10) {
        if (pred()) return true;
        Sleep(10);
    }
    return pred();
}

// Calls write(0), write(1)... on another thread while this one calls read()
// `reads` times; true when every read gave a or b, never a mix of the two.
// The reads start only once the writer runs, so the two overlap.
template <typename Write, typename Read>
bool readersNeverSeeATornValue(Write write, Read read, const std::wstring& a, const std::wstring& b,
                               int reads = 2000)
{
    std::atomic<bool> writing{false};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            write(i);
            writing = true;
        }
    });
    while (!writing) std::this_thread::yield();
    int torn = 0;
    for (int n = 0; n < reads; ++n) {
        const std::wstring seen = read();
        if (seen != a && seen != b) ++torn;
    }
    stop = true;
    writer.join();
    return torn == 0;
}

// Starts a download and returns its task (null if none was created).
std::shared_ptr<Task> startTask(int32_t id, const std::wstring& name, const std::string& url,
                                const std::string& md5 = "", int64_t size = 0);
// Starts a download and waits for its worker to end.
std::shared_ptr<Task> runTask(int32_t id, const std::wstring& name, const std::string& url,
                              const std::string& md5 = "", int64_t size = 0);
TaskView viewOf(int32_t id);

// Per test: a fresh server state, a scratch download folder and short waits;
// afterwards the manager forgets the finished tasks, and the next test starts
// only once every request slot is free (a cancelled request keeps its slot
// until its connection is gone).
class EngineTest {
public:
    explicit EngineTest(const wchar_t* folderName, int waitStepMs = 2);
    ~EngineTest();
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
};

}  // namespace enginetest
