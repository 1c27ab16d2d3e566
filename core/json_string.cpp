#include "core/json_string.h"

#include <cstring>
#include <limits>
#include <new>

#include "core/json_scan.h"

namespace json {

namespace {

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
void readUnicodeEscape(const char*& pos, const char* end, std::string& out)
{
    if (end - pos < 4) return;  // the backslash and the 'u' are dropped
    uint32_t first = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = hexDigit(pos[i]);
        first = first * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    pos += 4;
    if (first >= 0xD800 && first <= 0xDBFF && end - pos >= 6 && pos[0] == '\\' && pos[1] == 'u') {
        uint32_t second = 0;
        bool valid = true;
        for (int i = 2; i < 6 && valid; ++i) {
            int digit = hexDigit(pos[i]);
            valid = digit >= 0;
            if (valid) second = second * 16 + static_cast<uint32_t>(digit);
        }
        // The second value need not be a low surrogate; the sum stays positive
        // (at least 0x2400) and below 2^21, so four bytes always hold it.
        if (valid) {
            pos += 6;
            appendUtf8(out, 0x10000 + ((first - 0xD800) << 10) + second - 0xDC00);
            return;
        }
    }
    appendUtf8(out, first);
}

// The position is on a backslash inside a string. Decodes up to and past the
// closing quote (or to the end of the text) into out.
void decodeEscapedString(const char*& pos, const char* end, std::string& out)
{
    while (pos < end) {
        const char ch = *pos++;
        if (ch == '"') return;
        if (ch != '\\') {
            const char* run = findQuoteOrBackslash(pos, end);
            out += ch;
            out.append(pos, run);
            pos = run;
            continue;
        }
        if (pos == end) return;  // a final backslash ends the string
        const char escaped = *pos++;
        switch (escaped) {
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': readUnicodeEscape(pos, end, out); break;
        default: out += escaped; break;  // '"', '\\', '/' and any other byte give themselves
        }
    }
}

StringRef makeStringBlock(Document& document, const char* bytes, size_t length)
{
    if (length == 0) return StringRef();
    // A string of 4 GiB or more cannot be described; no memory would hold its tree anyway.
    if (length >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    char* block = static_cast<char*>(document.allocate(stringBlockBytes(length), 4));
    const uint32_t size = static_cast<uint32_t>(length);
    std::memcpy(block, &size, sizeof size);
    std::memcpy(block + sizeof size, bytes, length);
    block[sizeof size + length] = '\0';
    return RefAccess::make<StringRef>(reinterpret_cast<uintptr_t>(block) | kStringTag);
}

}  // namespace

const char* readString(const char* pos, const char* end, Document& document, std::string& decoded, StringRef& out)
{
    const char* first = pos + 1;
    const char* stop = findQuoteOrBackslash(first, end);
    if (stop == end || *stop == '"') {
        out = makeStringBlock(document, first, static_cast<size_t>(stop - first));
        return stop == end ? stop : stop + 1;
    }
    decoded.assign(first, stop);
    pos = stop;
    decodeEscapedString(pos, end, decoded);
    out = makeStringBlock(document, decoded.data(), decoded.size());
    return pos;
}

}  // namespace json
