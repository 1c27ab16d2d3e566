// Times the catalog bootstrap against a running catalog server: fetch plus
// parse as the loader does it, and json::parse alone on the same body.
//
//   bootstrap_bench.exe http://127.0.0.1:PORT [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/json.h"
#include "core/text.h"
#include "net/catalog.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bootstrap_bench SERVER_URL [rounds]\n");
        return 2;
    }
    const std::wstring server = utf8ToWide(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    std::string body;
    std::wstring errorText;
    if (!fetchJson(server + L"/api/client/bootstrap", body, errorText)) {
        std::fprintf(stderr, "fetch failed: %s\n", wideToUtf8(errorText).c_str());
        return 1;
    }

    std::vector<double> fetchMs, parseMs, bootstrapMs;
    size_t apps = 0;
    for (int i = 0; i < rounds; ++i) {
        Clock::time_point start = Clock::now();
        std::string fetched;
        if (!fetchJson(server + L"/api/client/bootstrap", fetched, errorText)) return 1;
        fetchMs.push_back(millisSince(start));

        start = Clock::now();
        std::shared_ptr<json::Value> root = json::parse(body);
        parseMs.push_back(millisSince(start));
        if (!root) {
            std::fprintf(stderr, "the bootstrap body does not parse\n");
            return 1;
        }

        Catalog catalog;
        start = Clock::now();
        if (!bootstrap(catalog, server)) {
            std::fprintf(stderr, "bootstrap failed: %s\n", wideToUtf8(catalog.lastError).c_str());
            return 1;
        }
        bootstrapMs.push_back(millisSince(start));
        catalog.adoptPending();
        apps = catalog.apps.size();
    }

    const double megabytes = static_cast<double>(body.size()) / (1024.0 * 1024.0);
    std::printf("bootstrap body: %zu bytes, %zu apps, %d rounds (medians)\n", body.size(), apps, rounds);
    std::printf("fetch only:                          %8.1f ms\n", median(fetchMs));
    std::printf("json::parse:                         %8.1f ms  (%.1f MB/s)\n", median(parseMs),
                megabytes / (median(parseMs) / 1000.0));
    std::printf("bootstrap (fetch + parse + records): %8.1f ms\n", median(bootstrapMs));
    return 0;
}
