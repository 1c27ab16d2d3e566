// json::parse against RapidJSON's DOM Parse on the same texts, built natively
// (tools/bench/json_bench.sh builds it with -O2): a 10,000-app bootstrap
// answer and 8 MiB of "[0,0,...]". Each round parses a document once with
// each parser, in alternating order; the best of the rounds is reported.
// RapidJSON is a yardstick here only; the program never uses it.
//
// json_speed [rounds]
// Prints per document: bytes, MB/s of each (best round), and ours / RapidJSON.

#include <rapidjson/document.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/json.h"
#include "tools/bench/json_documents.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Best {
    double ours = 1e9;
    double rapid = 1e9;
};

// Seconds of one parse; the tree is released outside the timed part. The
// top-level element count is checked so neither parse is optimised away.
double timeOurs(const std::string& text, size_t& elements)
{
    const Clock::time_point start = Clock::now();
    std::shared_ptr<json::Value> root = json::parse(text);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    elements = root ? root->array.size() + root->object.size() : 0;
    return root ? seconds : -1;
}

double timeRapid(const std::string& text, size_t& elements)
{
    rapidjson::Document document;
    const Clock::time_point start = Clock::now();
    document.Parse(text.data(), text.size());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    elements = document.IsArray() ? document.Size() : document.IsObject() ? document.MemberCount() : 0;
    return document.HasParseError() ? -1 : seconds;
}

bool measure(const char* name, const std::string& text, int rounds)
{
    Best best;
    for (int round = 0; round < rounds; ++round) {
        size_t oursElements = 0, rapidElements = 0;
        double ours = 0, rapid = 0;
        if (round % 2 == 0) {
            ours = timeOurs(text, oursElements);
            rapid = timeRapid(text, rapidElements);
        } else {
            rapid = timeRapid(text, rapidElements);
            ours = timeOurs(text, oursElements);
        }
        if (ours < 0 || rapid < 0 || oursElements != rapidElements) {
            std::printf("%s: the parsers disagree (%zu and %zu elements)\n", name, oursElements, rapidElements);
            return false;
        }
        best.ours = std::min(best.ours, ours);
        best.rapid = std::min(best.rapid, rapid);
    }
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    std::printf("%-8s %8zu bytes  ours %7.1f MB/s  RapidJSON %7.1f MB/s  ours/RapidJSON %.2f\n", name, text.size(),
                megabytes / best.ours, megabytes / best.rapid, best.rapid / best.ours);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    std::printf("best of %d interleaved rounds, RapidJSON %s\n", rounds, RAPIDJSON_VERSION_STRING);
    const bool ok = measure("catalog", bench::catalogDocument(10000), rounds) &&
                    measure("numbers", bench::numbersDocument(), rounds);
    return ok ? 0 : 1;
}
