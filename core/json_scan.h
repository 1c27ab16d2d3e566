#pragma once
// Byte-level scanning shared by the JSON parser and its count of long containers. For
// core/json*.cpp only.

#include <cstdint>
#include <cstring>

namespace json {

// Whitespace is exactly tab, line feed, carriage return and space.
inline bool isJsonSpace(char ch)
{
    const unsigned char byte = static_cast<unsigned char>(ch);
    return byte <= ' ' && (byte == ' ' || byte == '\n' || byte == '\r' || byte == '\t');
}

inline const char* skipJsonSpace(const char* pos, const char* end)
{
    while (pos < end && isJsonSpace(*pos)) ++pos;
    return pos;
}

// The first '"' or '\\' at or after pos, or end. Eight bytes at a time: most
// of a document's bytes are inside strings.
inline const char* findQuoteOrBackslash(const char* pos, const char* end)
{
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    while (end - pos >= 8) {
        uint64_t word;
        std::memcpy(&word, pos, sizeof word);
        const uint64_t quotes = word ^ (kOnes * '"');
        const uint64_t backslashes = word ^ (kOnes * '\\');
        // A high bit for each zero byte (and maybe beyond one): some byte matched.
        if ((((quotes - kOnes) & ~quotes) | ((backslashes - kOnes) & ~backslashes)) & kHighBits) break;
        pos += 8;
    }
    while (pos < end && *pos != '"' && *pos != '\\') ++pos;
    return pos;
}

// The position is just past a backslash inside a string; returns the position
// after the escape. A unicode escape takes its four bytes whenever four remain,
// whatever they are, so a quote among them does not end the string.
inline const char* skipEscape(const char* pos, const char* end)
{
    if (pos == end) return end;
    if (*pos == 'u' && end - (pos + 1) >= 4) return pos + 5;
    return pos + 1;
}

}  // namespace json
