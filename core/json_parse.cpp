// json::parse: one pass over the text that builds the document in its arena,
// every container in one block of its final size.

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "core/json.h"
#include "core/json_document.h"
#include "core/json_scan.h"
#include "core/json_shape.h"
#include "core/json_string.h"

namespace json {

namespace {

// Items gathered before a container gets its block: up to this many per
// container; a longer one is counted to its end and filled in place. The
// fuzzers lower it so that short inputs take the long road too.
#ifndef PAKVANE_JSON_MAX_GATHERED
#define PAKVANE_JSON_MAX_GATHERED 65536
#endif
constexpr size_t kMaxGatheredItems = PAKVANE_JSON_MAX_GATHERED;

// The position always points into a std::string's c_str(), so a NUL byte sits
// at `end` and std::strtod can never read past the text.
struct ParseCursor {
    ParseCursor(const char* from, const char* to, Document& into) : pos(from), end(to), document(into) {}

    const char* pos;
    const char* end;
    Document& document;
    int32_t depth = 0;
    // Where strings with escapes are decoded before they get their block.
    std::string decoded;
    // Elements and members of the containers being read, innermost last.
    std::vector<Value> gatheredElements;
    std::vector<ObjectEntry> gatheredMembers;
    // Sizes of the non-empty containers that open before measuredEnd, in
    // order, from the last count of a long container (json_shape.h).
    std::vector<uint32_t> counts;
    size_t nextCount = 0;
    const char* measuredEnd = nullptr;

    std::vector<Value>& gathered(Value*) { return gatheredElements; }
    std::vector<ObjectEntry>& gathered(ObjectEntry*) { return gatheredMembers; }
};

bool parseValue(ParseCursor& c, Value& out);

size_t remaining(const ParseCursor& c) { return static_cast<size_t>(c.end - c.pos); }

bool matches(const ParseCursor& c, const char* word, size_t length)
{
    return remaining(c) >= length && std::memcmp(c.pos, word, length) == 0;
}

// The block of one array or object being filled: sized by a count made in
// advance, moved to a bigger block only when the count was short (text that
// will be rejected).
template <typename Slot>
class SlotWriter {
public:
    SlotWriter(Document& document, size_t expected) : document_(document) { reserve(expected ? expected : 4); }

    // The next slot, default-initialised.
    Slot& append()
    {
        if (header_->size == capacity_) reserve(capacity_ * 2);
        return *new (slots() + header_->size++) Slot();
    }

    void appendAll(const Slot* items, size_t count)
    {
        while (header_->size + count > capacity_) reserve(capacity_ * 2);
        std::memcpy(static_cast<void*>(slots() + header_->size), items, count * sizeof(Slot));
        header_->size += static_cast<uint32_t>(count);
    }

    // The block, tagged.
    uintptr_t word(uintptr_t tag) const { return reinterpret_cast<uintptr_t>(header_) | tag; }

private:
    Slot* slots() const { return reinterpret_cast<Slot*>(header_ + 1); }

    void reserve(size_t capacity)
    {
        if (capacity > std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
        auto* header = static_cast<ContainerHeader*>(
            document_.allocate(sizeof(ContainerHeader) + capacity * sizeof(Slot), alignof(ContainerHeader)));
        header->size = 0;
        header->owner = &document_;
        if (header_) {
            std::memcpy(static_cast<void*>(header + 1), slots(), header_->size * sizeof(Slot));
            header->size = header_->size;
        }
        header_ = header;
        capacity_ = capacity;
    }

    Document& document_;
    ContainerHeader* header_ = nullptr;
    size_t capacity_ = 0;
};

// After an element or member: true on ',' (another follows), false on the
// closing byte (done); fails on anything else.
bool nextItem(ParseCursor& c, char close, bool& more)
{
    c.pos = skipJsonSpace(c.pos, c.end);
    if (c.pos == c.end) return false;
    const char ch = *c.pos++;
    more = ch == ',';
    return more || ch == close;
}

// The position is on the opening byte. True with the position past the
// closing byte when the container is empty.
bool openContainer(ParseCursor& c, char close, bool& empty)
{
    ++c.pos;
    if (++c.depth > kMaxJsonDepth) return false;
    c.pos = skipJsonSpace(c.pos, c.end);
    empty = c.pos < c.end && *c.pos == close;
    if (empty) {
        ++c.pos;
        --c.depth;
    }
    return true;
}

bool readItem(ParseCursor& c, Value& element) { return parseValue(c, element); }

bool readItem(ParseCursor& c, ObjectEntry& member)
{
    c.pos = skipJsonSpace(c.pos, c.end);
    if (c.pos == c.end || *c.pos != '"') return false;
    c.pos = readString(c.pos, c.end, c.document, c.decoded, member.key);
    c.pos = skipJsonSpace(c.pos, c.end);
    if (c.pos == c.end || *c.pos != ':') return false;
    ++c.pos;
    return parseValue(c, member.value);
}

// Reads the remaining items straight into their block.
template <typename Slot>
bool fillInPlace(ParseCursor& c, char close, SlotWriter<Slot>& writer)
{
    for (bool more = true; more;) {
        if (!readItem(c, writer.append())) return false;
        if (!nextItem(c, close, more)) return false;
    }
    return true;
}

// Reads the items of a non-empty container, from its first item to past its
// closing byte, into a block of its exact size; word receives the block's
// address. Most containers are short: their items are gathered and copied
// into the block at the end. A long one is counted to its end once, and it
// and every container inside it are filled in place.
template <typename Slot>
bool readItems(ParseCursor& c, char close, uintptr_t& word)
{
    if (c.pos < c.measuredEnd) {
        // The count can only run out for text that will be rejected.
        const size_t counted = c.nextCount < c.counts.size() ? c.counts[c.nextCount++] : 0;
        SlotWriter<Slot> writer(c.document, counted);
        if (!fillInPlace(c, close, writer)) return false;
        word = writer.word(0);
        return true;
    }
    std::vector<Slot>& gathered = c.gathered(static_cast<Slot*>(nullptr));
    const size_t first = gathered.size();
    for (bool more = true; more;) {
        Slot item;  // not in `gathered`: the items inside it may move that
        if (!readItem(c, item)) return false;
        gathered.push_back(item);
        if (!nextItem(c, close, more)) return false;
        if (more && gathered.size() - first == kMaxGatheredItems) {
            ContainerRest rest = measureContainerRest(c.pos, c.end, c.depth);
            SlotWriter<Slot> writer(c.document, kMaxGatheredItems + size_t(rest.remaining));
            writer.appendAll(gathered.data() + first, kMaxGatheredItems);
            gathered.resize(first);
            c.counts = std::move(rest.nestedCounts);
            c.nextCount = 0;
            c.measuredEnd = rest.end;
            if (!fillInPlace(c, close, writer)) return false;
            word = writer.word(0);
            return true;
        }
    }
    SlotWriter<Slot> writer(c.document, gathered.size() - first);
    writer.appendAll(gathered.data() + first, gathered.size() - first);
    gathered.resize(first);
    word = writer.word(0);
    return true;
}

// The position is on the opening byte. block receives the address of the
// container's block, or stays 0 for an empty container.
template <typename Slot>
bool readContainer(ParseCursor& c, char close, uintptr_t& block)
{
    bool empty = false;
    if (!openContainer(c, close, empty)) return false;
    if (empty) return true;
    if (!readItems<Slot>(c, close, block)) return false;
    --c.depth;
    return true;
}

bool parseArray(ParseCursor& c, Value& out)
{
    out.type = Type::Array;
    uintptr_t block = 0;
    const bool read = readContainer<Value>(c, ']', block);
    out.array = RefAccess::make<ArrayRef>(block | kArrayTag);
    return read;
}

bool parseObject(ParseCursor& c, Value& out)
{
    out.type = Type::Object;
    uintptr_t block = 0;
    const bool read = readContainer<ObjectEntry>(c, '}', block);
    out.object = RefAccess::make<ObjectRef>(block | kObjectTag);
    return read;
}

// Bytes that may end a number token: whatever follows a value.
bool endsToken(char ch) { return isJsonSpace(ch) || ch == ',' || ch == ']' || ch == '}'; }

// The number grammar is strtod's, not JSON's: "+1", ".5", "0x1A", "Infinity"
// and "NaN" are all numbers. It runs in the "C" locale the program keeps.
// strtod's cost grows with the square of the digits on some C libraries, so a
// token longer than kMaxNumberToken fails before strtod sees it; such a
// token, or anything after a shorter number in it, could not parse anyway.
bool parseNumberWithStrtod(ParseCursor& c, double& number)
{
    size_t token = 0;
    while (token < remaining(c) && !endsToken(c.pos[token]))
        if (++token > kMaxNumberToken) return false;
    char* stop = nullptr;
    number = std::strtod(c.pos, &stop);
    if (stop == c.pos || stop > c.end) return false;
    c.pos = stop;
    return true;
}

// Most numbers are short integers: up to 15 digits, optionally negative, and
// then the end of the token. Such a number is exact as a double, so strtod
// would give the same; everything else goes to strtod.
bool parseNumber(ParseCursor& c, double& number)
{
    const char* p = c.pos;
    const bool negative = *p == '-';
    if (negative) ++p;
    const char* digits = p;
    uint64_t magnitude = 0;
    while (p < c.end && p - digits < 16 && static_cast<unsigned char>(*p - '0') < 10)
        magnitude = magnitude * 10 + static_cast<unsigned char>(*p++ - '0');
    const ptrdiff_t count = p - digits;
    if (count == 0 || count > 15 || (p < c.end && !endsToken(*p))) return parseNumberWithStrtod(c, number);
    number = negative ? -static_cast<double>(magnitude) : static_cast<double>(magnitude);
    c.pos = p;
    return true;
}

bool parseValue(ParseCursor& c, Value& out)
{
    c.pos = skipJsonSpace(c.pos, c.end);
    if (c.pos == c.end) return false;
    switch (*c.pos) {
    case '"':
        out.type = Type::String;
        c.pos = readString(c.pos, c.end, c.document, c.decoded, out.string);
        return true;
    case '[': return parseArray(c, out);
    case '{': return parseObject(c, out);
    case 't':
    case 'f':
        out.type = Type::Bool;
        if (matches(c, "true", 4)) {
            out.boolean = true;
            c.pos += 4;
            return true;
        }
        if (matches(c, "false", 5)) {
            c.pos += 5;
            return true;
        }
        return false;
    case 'n':
        if (!matches(c, "null", 4)) return false;
        c.pos += 4;
        return true;
    default:
        out.type = Type::Number;
        return parseNumber(c, out.number);
    }
}

}  // namespace

std::shared_ptr<Value> parse(const std::string& text)
{
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    if (text.size() >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0) begin += 3;
    auto document = std::make_shared<Document>(text.size());
    ParseCursor c(begin, end, *document);
    if (!parseValue(c, document->root)) return nullptr;
    c.pos = skipJsonSpace(c.pos, c.end);
    if (c.pos != c.end) return nullptr;
    return std::shared_ptr<Value>(document, &document->root);
}

}  // namespace json
