// Download throughput on this platform: the same large file fetched through the
// engine (DownloadManager, headless) and through the plainest WinHTTP loop, plus
// the digest speed of fileMd5Hex. Driven by download_bench.sh, which serves the
// file and compares with native tools.
//
// download_bench.exe <url> <scratch folder> [rounds] [engine|bare] [catalog size]
// The engine shares a large file among several connections only when the
// catalog's size (0 by default: none) equals the server's.
// Prints one line per measurement:
//   <name> bytes=<n> seconds=<wall> cpu=<user+kernel of this process> [pieces=<n>] [md5=<hex>]

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/handles.h"
#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "download/verify.h"

namespace {

constexpr DWORD kPiece = 65536;  // the client's read cap, so both loops read alike
constexpr int32_t kBenchTaskId = 1;
constexpr wchar_t kTaskName[] = L"download-bench";

struct InternetCloser {
    void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, nullptr, InternetCloser>;

double cpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

class Stopwatch {
public:
    Stopwatch() : cpuStart_(cpuSeconds()) { QueryPerformanceCounter(&start_); }
    double wallSeconds() const
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }
    double cpu() const { return cpuSeconds() - cpuStart_; }

private:
    LARGE_INTEGER start_;
    double cpuStart_;
};

// extra is appended as it is: " md5=<hex>", " pieces=<n>".
void printMeasure(const char* name, int64_t bytes, const Stopwatch& watch, const std::string& extra = "")
{
    double seconds = watch.wallSeconds();
    double cpu = watch.cpu();
    std::printf("%s bytes=%lld seconds=%.3f cpu=%.3f", name, static_cast<long long>(bytes), seconds, cpu);
    std::printf("%s\n", extra.c_str());
    std::fflush(stdout);
}

int64_t fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The engine as the product drives it, without a window: start, then poll the
// snapshot until the file is in place.
bool engineDownload(const std::string& url, const std::wstring& folder, int64_t catalogSize, std::wstring& finalPath)
{
    setDownloadFolderOverride(folder);
    DownloadManager& manager = DownloadManager::instance();
    manager.startDownload(kBenchTaskId, kTaskName, url, "", catalogSize);
    // Bounded: 1 GiB at 1 MB/s would still finish in time.
    for (int i = 0; i < 20 * 60 * 30; ++i) {
        auto all = manager.snapshot();
        auto it = all.find(kBenchTaskId);
        if (it == all.end()) return false;
        const TaskView& view = it->second;
        if (view.state == TaskState::Downloaded) {
            finalPath = folder + L"\\" + kTaskName + L".exe";
            return true;
        }
        if (view.state != TaskState::Downloading && view.state != TaskState::Verifying) {
            std::fprintf(stderr, "engine failed: state %d, %s\n", view.state, wideToUtf8(view.error).c_str());
            return false;
        }
        Sleep(50);
    }
    std::fprintf(stderr, "engine did not finish\n");
    return false;
}

// Open, send, then read each piece and write it: nothing else.
bool bareDownload(const std::wstring& url, const std::wstring& path, int64_t& bytes, int64_t& pieces)
{
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    wchar_t object[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = object;
    parts.dwUrlPathLength = ARRAYSIZE(object);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;

    UniqueInternet session(WinHttpOpen(L"download_bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return false;
    UniqueInternet connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) return false;
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"GET", object, nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request) return false;
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return false;
    if (!WinHttpReceiveResponse(request.get(), nullptr)) return false;

    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<unsigned char> piece(kPiece);
    bytes = 0;
    pieces = 0;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available)) return false;
        if (available == 0) return true;
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), piece.data(), available < kPiece ? available : kPiece, &read)) return false;
        if (read == 0) return true;
        DWORD written = 0;
        if (!WriteFile(file.get(), piece.data(), read, &written, nullptr) || written != read) return false;
        bytes += read;
        ++pieces;
    }
}

bool measureEngine(const std::wstring& url, const std::wstring& folder, int64_t catalogSize, std::wstring& enginePath)
{
    Stopwatch watch;
    if (!engineDownload(wideToUtf8(url), folder, catalogSize, enginePath)) return false;
    printMeasure("engine", fileSize(enginePath), watch);
    return true;
}

bool measureBare(const std::wstring& url, const std::wstring& barePath)
{
    Stopwatch watch;
    int64_t bytes = 0;
    int64_t pieces = 0;
    if (!bareDownload(url, barePath, bytes, pieces)) {
        std::fprintf(stderr, "bare loop failed\n");
        return false;
    }
    printMeasure("bare", bytes, watch, " pieces=" + std::to_string(pieces));
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: download_bench.exe <url> <scratch folder> [rounds] [engine|bare] [catalog size]\n");
        return 2;
    }
    const std::wstring url = argv[1];
    const std::wstring folder = argv[2];
    const int rounds = argc > 3 && _wtoi(argv[3]) > 0 ? _wtoi(argv[3]) : 1;
    // One way alone, for profiling it.
    const std::wstring only = argc > 4 ? argv[4] : L"";
    const bool runEngine = only != L"bare";
    const bool runBare = only != L"engine";
    const int64_t catalogSize = argc > 5 ? _wtoi64(argv[5]) : 0;
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring barePath = folder + L"\\bare.bin";

    std::wstring enginePath;
    for (int round = 0; round < rounds; ++round) {
        // Each round starts clean so neither loop finds its file already in place.
        if (!enginePath.empty()) DeleteFileW(enginePath.c_str());
        DeleteFileW(barePath.c_str());
        DownloadManager::instance().clearFinished();

        // The order alternates, so neither loop always runs on the warmer machine.
        const bool engineFirst = round % 2 == 0;
        if (runEngine && engineFirst && !measureEngine(url, folder, catalogSize, enginePath)) return 1;
        if (runBare && !measureBare(url, barePath)) return 1;
        if (runEngine && !engineFirst && !measureEngine(url, folder, catalogSize, enginePath)) return 1;
    }

    if (!runEngine) return 0;
    Stopwatch md5Watch;
    std::string digest;
    if (!fileMd5Hex(enginePath, digest)) {
        std::fprintf(stderr, "fileMd5Hex failed\n");
        return 1;
    }
    printMeasure("md5", fileSize(enginePath), md5Watch, " md5=" + digest);
    return 0;
}
