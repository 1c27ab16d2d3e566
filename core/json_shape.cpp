#include "core/json_shape.h"

#include <limits>

#include "core/json.h"
#include "core/json_scan.h"

namespace json {

namespace {

// The closing quote of the string whose opening quote is just before pos, or
// end when the text ends first.
const char* findStringEnd(const char* pos, const char* end)
{
    for (;;) {
        pos = findQuoteOrBackslash(pos, end);
        if (pos == end || *pos == '"') return pos;
        pos = skipEscape(pos + 1, end);
    }
}

// A container open during the walk: where its count goes, and its commas.
struct OpenContainer {
    size_t ordinal;
    uint32_t commas;
};

}  // namespace

ContainerRest measureContainerRest(const char* pos, const char* end, int32_t depth)
{
    ContainerRest rest;
    OpenContainer open[kMaxJsonDepth + 1];
    int levels = 0;
    uint32_t commas = 0;  // of the innermost open container
    while (pos < end) {
        const char ch = *pos++;
        switch (ch) {
        case ',':
            if (commas < std::numeric_limits<uint32_t>::max()) ++commas;
            break;
        case '"': {
            const char* close = findStringEnd(pos, end);
            pos = close == end ? end : close + 1;
            break;
        }
        case '[':
        case '{': {
            // Empty as the parser sees it: the closing byte after whitespace.
            const char* next = skipJsonSpace(pos, end);
            if (next < end && *next == (ch == '[' ? ']' : '}')) {
                pos = next + 1;
                break;
            }
            if (depth + levels + 1 > kMaxJsonDepth) {
                rest.end = pos - 1;
                return rest;
            }
            open[levels++] = {rest.nestedCounts.size(), commas};
            rest.nestedCounts.push_back(0);
            commas = 0;
            break;
        }
        case ']':
        case '}': {
            // Every container counted here holds something: one more than its commas.
            const uint32_t count = commas == std::numeric_limits<uint32_t>::max() ? commas : commas + 1;
            if (levels == 0) {
                rest.remaining = count;
                rest.end = pos - 1;
                return rest;
            }
            const OpenContainer& closing = open[--levels];
            rest.nestedCounts[closing.ordinal] = count;
            commas = closing.commas;
            break;
        }
        default: break;
        }
    }
    rest.end = end;
    return rest;
}

}  // namespace json
