#pragma once
// A small JSON value tree with a lenient one-pass parser and a string escaper.
// Platform-free.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace json {

enum class Type : int32_t { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

constexpr int32_t kMaxJsonDepth = 64;
// Longest number token accepted, in bytes; no real document comes near it.
constexpr size_t kMaxNumberToken = 1024;

struct Value {
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<std::shared_ptr<Value>> array;
    std::vector<std::pair<std::string, std::shared_ptr<Value>>> object;

    // The first member with exactly this key, or null (also when not an Object).
    const Value* get(const char* key) const;
    std::string asString(const char* def) const;
    // Numbers are truncated toward zero. NaN gives 0; values beyond the range
    // saturate at the nearest limit (see json.cpp).
    int32_t asInt(int32_t def) const;
    int64_t asInt64(int64_t def) const;
    bool asBool(bool def) const;
};

// Null when the text is not accepted.
std::shared_ptr<Value> parse(const std::string& text);
// Escapes a UTF-8 byte string for use between double quotes.
std::string escape(const std::string& bytes);

}  // namespace json
