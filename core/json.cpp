#include "core/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace json {

namespace {

// The position always points into a std::string's c_str(), so a NUL byte sits
// at `end` and std::strtod can never read past the text.
struct ParseCursor {
    const char* pos;
    const char* end;
    int32_t depth = 0;
    bool failed = false;
};

std::shared_ptr<Value> parseValue(ParseCursor& c);

bool isWhitespace(char ch)
{
    return ch == '\t' || ch == '\n' || ch == '\r' || ch == ' ';
}

void skipWhitespace(ParseCursor& c)
{
    while (c.pos < c.end && isWhitespace(*c.pos)) ++c.pos;
}

size_t remaining(const ParseCursor& c)
{
    return static_cast<size_t>(c.end - c.pos);
}

std::shared_ptr<Value> fail(ParseCursor& c)
{
    c.failed = true;
    return nullptr;
}

// -1 when the byte is not a hexadecimal digit.
int hexDigit(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The position is just past the 'u'. Four bytes are always taken when four
// remain, whatever they are: a byte that is not a hex digit counts as 0.
void readUnicodeEscape(ParseCursor& c, std::string& out)
{
    if (remaining(c) < 4) return;  // the backslash and the 'u' are dropped
    uint32_t first = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = hexDigit(c.pos[i]);
        first = first * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    c.pos += 4;
    if (first >= 0xD800 && first <= 0xDBFF && remaining(c) >= 6 && c.pos[0] == '\\' && c.pos[1] == 'u') {
        uint32_t second = 0;
        bool valid = true;
        for (int i = 2; i < 6 && valid; ++i) {
            int digit = hexDigit(c.pos[i]);
            valid = digit >= 0;
            if (valid) second = second * 16 + static_cast<uint32_t>(digit);
        }
        // The second value need not be a low surrogate; the sum stays positive
        // (at least 0x2400) and below 2^21, so four bytes always hold it.
        if (valid) {
            c.pos += 6;
            appendUtf8(out, 0x10000 + ((first - 0xD800) << 10) + second - 0xDC00);
            return;
        }
    }
    appendUtf8(out, first);
}

// The position is on the opening quote. Running out of text ends the string
// without an error.
void readString(ParseCursor& c, std::string& out)
{
    ++c.pos;
    while (c.pos < c.end) {
        char ch = *c.pos++;
        if (ch == '"') return;
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (c.pos == c.end) return;
        char escaped = *c.pos++;
        switch (escaped) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': readUnicodeEscape(c, out); break;
        default: out += escaped; break;  // '"', '\\', '/' and any other byte give themselves
        }
    }
}

bool matches(const ParseCursor& c, const char* word)
{
    size_t length = std::strlen(word);
    return remaining(c) >= length && std::memcmp(c.pos, word, length) == 0;
}

std::shared_ptr<Value> parseArray(ParseCursor& c)
{
    ++c.pos;
    if (++c.depth > kMaxJsonDepth) return fail(c);
    auto array = std::make_shared<Value>();
    array->type = Type::Array;
    skipWhitespace(c);
    if (c.pos < c.end && *c.pos == ']') {
        ++c.pos;
        --c.depth;
        return array;
    }
    for (;;) {
        auto element = parseValue(c);
        if (!element) return fail(c);
        array->array.push_back(std::move(element));
        skipWhitespace(c);
        if (c.pos == c.end) return fail(c);
        char ch = *c.pos++;
        if (ch == ']') break;
        if (ch != ',') return fail(c);
    }
    --c.depth;
    return array;
}

std::shared_ptr<Value> parseObject(ParseCursor& c)
{
    ++c.pos;
    if (++c.depth > kMaxJsonDepth) return fail(c);
    auto object = std::make_shared<Value>();
    object->type = Type::Object;
    skipWhitespace(c);
    if (c.pos < c.end && *c.pos == '}') {
        ++c.pos;
        --c.depth;
        return object;
    }
    for (;;) {
        skipWhitespace(c);
        if (c.pos == c.end || *c.pos != '"') return fail(c);
        std::string key;
        readString(c, key);
        skipWhitespace(c);
        if (c.pos == c.end || *c.pos != ':') return fail(c);
        ++c.pos;
        auto member = parseValue(c);
        if (!member) return fail(c);
        object->object.emplace_back(std::move(key), std::move(member));
        skipWhitespace(c);
        if (c.pos == c.end) return fail(c);
        char ch = *c.pos++;
        if (ch == '}') break;
        if (ch != ',') return fail(c);
    }
    --c.depth;
    return object;
}

// Bytes that may end a number token: whatever follows a value.
bool endsToken(char ch) { return isWhitespace(ch) || ch == ',' || ch == ']' || ch == '}'; }

// The number grammar is strtod's, not JSON's: "+1", ".5", "0x1A", "Infinity"
// and "NaN" are all numbers. It runs in the "C" locale the program keeps.
// strtod's cost grows with the square of the digits on some C libraries, so a
// token longer than kMaxNumberToken fails before strtod sees it; such a
// token, or anything after a shorter number in it, could not parse anyway.
std::shared_ptr<Value> parseNumber(ParseCursor& c)
{
    size_t token = 0;
    while (token < remaining(c) && !endsToken(c.pos[token]))
        if (++token > kMaxNumberToken) return fail(c);
    char* stop = nullptr;
    double number = std::strtod(c.pos, &stop);
    if (stop == c.pos || stop > c.end) return fail(c);
    c.pos = stop;
    auto value = std::make_shared<Value>();
    value->type = Type::Number;
    value->number = number;
    return value;
}

std::shared_ptr<Value> parseValue(ParseCursor& c)
{
    skipWhitespace(c);
    if (c.pos == c.end) return fail(c);
    switch (*c.pos) {
    case '"': {
        auto value = std::make_shared<Value>();
        value->type = Type::String;
        readString(c, value->string);
        return value;
    }
    case '[': return parseArray(c);
    case '{': return parseObject(c);
    case 't':
    case 'f': {
        auto value = std::make_shared<Value>();
        value->type = Type::Bool;
        if (matches(c, "true")) {
            value->boolean = true;
            c.pos += 4;
        } else if (matches(c, "false")) {
            c.pos += 5;
        } else {
            return fail(c);
        }
        return value;
    }
    case 'n': {
        if (!matches(c, "null")) return fail(c);
        c.pos += 4;
        return std::make_shared<Value>();
    }
    default: return parseNumber(c);
    }
}

// Truncates toward zero. NaN gives 0 and values beyond the range saturate at
// the type's minimum or maximum, so no input leads to an undefined conversion.
template <typename Int>
Int toInteger(double number)
{
    if (std::isnan(number)) return 0;
    constexpr Int lowest = std::numeric_limits<Int>::min();
    constexpr Int highest = std::numeric_limits<Int>::max();
    // Both limits of int32_t and the lower one of int64_t are exact doubles;
    // the upper one of int64_t rounds up to 2^63, which must saturate too.
    if (number <= static_cast<double>(lowest)) return lowest;
    if (number >= static_cast<double>(highest)) return highest;
    return static_cast<Int>(number);
}

}  // namespace

const Value* Value::get(const char* key) const
{
    if (type != Type::Object || key == nullptr) return nullptr;
    for (const auto& member : object) {
        if (member.first == key) return member.second.get();
    }
    return nullptr;
}

std::string Value::asString(const char* def) const
{
    if (type == Type::String) return string;
    return def ? std::string(def) : std::string();
}

int32_t Value::asInt(int32_t def) const
{
    return type == Type::Number ? toInteger<int32_t>(number) : def;
}

int64_t Value::asInt64(int64_t def) const
{
    return type == Type::Number ? toInteger<int64_t>(number) : def;
}

bool Value::asBool(bool def) const
{
    return type == Type::Bool ? boolean : def;
}

std::shared_ptr<Value> parse(const std::string& text)
{
    ParseCursor c{text.c_str(), text.c_str() + text.size()};
    if (text.size() >= 3 && std::memcmp(c.pos, "\xEF\xBB\xBF", 3) == 0) c.pos += 3;
    auto root = parseValue(c);
    if (c.failed || !root) return nullptr;
    skipWhitespace(c);
    if (c.pos != c.end) return nullptr;
    return root;
}

std::string escape(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        unsigned char byte = static_cast<unsigned char>(ch);
        switch (ch) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (byte < 0x20) {
                char code[8];
                std::snprintf(code, sizeof code, "\\u%04x", byte);
                out += code;
            } else {
                out += ch;
            }
            break;
        }
    }
    return out;
}

}  // namespace json
