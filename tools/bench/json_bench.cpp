// The JSON parser's time and peak memory on two 8 MiB documents that a hostile
// or broken server could send: "[0,0,0,...]" and a bootstrap answer of empty
// app objects. One document per process, so the peak is that document's.
//
// json_bench.exe numbers|apps
// Prints: <document> bytes=<n> values=<n> parse_seconds=<s> release_seconds=<s>
//         peak_working_set_mib=<n> peak_commit_mib=<n>

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/json.h"
#include "tools/bench/json_documents.h"

namespace {

size_t countValues(const json::Value& value)
{
    size_t n = 1;
    for (const json::ValuePtr element : value.array) n += countValues(*element);
    for (const json::Member member : value.object) n += countValues(*member.second);
    return n;
}

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool apps = argc > 1 && std::strcmp(argv[1], "apps") == 0;
    std::string text = apps ? bench::appsDocument() : bench::numbersDocument();

    LARGE_INTEGER start, parsed, released;
    QueryPerformanceCounter(&start);
    std::shared_ptr<json::Value> root = json::parse(text);
    QueryPerformanceCounter(&parsed);
    if (!root) {
        std::printf("the document did not parse\n");
        return 1;
    }
    const size_t values = countValues(*root);
    LARGE_INTEGER releaseStart;
    QueryPerformanceCounter(&releaseStart);
    root.reset();
    QueryPerformanceCounter(&released);

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("%s bytes=%zu values=%zu parse_seconds=%.3f release_seconds=%.3f peak_working_set_mib=%.0f "
                "peak_commit_mib=%.0f\n",
                apps ? "apps" : "numbers", text.size(), values, seconds(start, parsed), seconds(releaseStart, released),
                counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0);
    return 0;
}
