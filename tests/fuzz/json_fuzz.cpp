// Feeds arbitrary bytes to json::parse. Besides the sanitizers' checks: a parsed
// tree keeps within the nesting limit, only the field of its type is filled,
// get() finds the first member of each key, and every string survives
// json::escape and a second parse unchanged.

#include "core/json.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

void checkEscapeRoundTrip(const std::string& bytes)
{
    auto again = json::parse("\"" + json::escape(bytes) + "\"");
    check(again && again->type == json::Type::String && again->string == bytes);
}

// Depth counts containers only, as the parser does.
void walk(const json::Value& value, int depth)
{
    if (value.type != json::Type::Bool) check(!value.boolean);
    if (value.type != json::Type::String) check(value.string.empty());
    if (value.type != json::Type::Array) check(value.array.empty());
    if (value.type != json::Type::Object) check(value.object.empty());
    if (value.type != json::Type::Number) check(value.number == 0 && !std::signbit(value.number));

    const bool container = value.type == json::Type::Array || value.type == json::Type::Object;
    if (container) check(depth + 1 <= json::kMaxJsonDepth);

    switch (value.type) {
    case json::Type::String: checkEscapeRoundTrip(value.string); break;
    case json::Type::Array:
        for (const auto& element : value.array) {
            check(element != nullptr);
            walk(*element, depth + 1);
        }
        break;
    case json::Type::Object:
        for (size_t i = 0; i < value.object.size(); ++i) {
            const auto& member = value.object[i];
            check(member.second != nullptr);
            checkEscapeRoundTrip(member.first);
            if (member.first.find('\0') == std::string::npos) {
                const json::Value* found = value.get(member.first.c_str());
                size_t first = 0;
                while (value.object[first].first != member.first) ++first;
                check(found == value.object[first].second.get());
            }
            walk(*member.second, depth + 1);
        }
        break;
    default:
        // Accessors must be defined for every number, NaN and infinities included.
        (void)value.asInt(0);
        (void)value.asInt64(0);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    auto root = json::parse(input);
    if (root) walk(*root, 0);
    checkEscapeRoundTrip(input);
    return 0;
}
