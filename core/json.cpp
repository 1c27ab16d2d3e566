// The views of a parsed document, the accessors of a value, and the escaper.

#include "core/json.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>

#include "core/json_document.h"

namespace json {

namespace {

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

const ContainerHeader* headerOf(uintptr_t word, uintptr_t tag)
{
    return reinterpret_cast<const ContainerHeader*>(blockOf(word, tag));
}

}  // namespace

Document::Document(size_t textBytes) : nextChunkBytes_(textBytes < 4096 ? 4096 : textBytes) {}

void* Document::allocateSlowly(size_t bytes)
{
    // A block of half a chunk or more gets an allocation of exactly its own
    // size: a long array counted in advance, or a long string.
    constexpr size_t kMaxChunk = 64 * 1024 * 1024;
    if (bytes >= nextChunkBytes_ / 2) {
        chunks_.emplace_back(new char[bytes]);
        return chunks_.back().get();
    }
    chunks_.emplace_back(new char[nextChunkBytes_]);
    next_ = chunks_.back().get() + bytes;
    limit_ = chunks_.back().get() + nextChunkBytes_;
    if (nextChunkBytes_ < kMaxChunk) nextChunkBytes_ *= 2;
    return chunks_.back().get();
}

size_t StringRef::size() const
{
    const char* block = blockOf(bits_, kStringTag);
    if (!block) return 0;
    uint32_t length;
    std::memcpy(&length, block, sizeof length);
    return length;
}

const char* StringRef::data() const
{
    const char* block = blockOf(bits_, kStringTag);
    return block ? block + sizeof(uint32_t) : "";
}

std::ostream& operator<<(std::ostream& out, const StringRef& text) { return out.write(text.data(), text.size()); }

ValuePtr::operator std::shared_ptr<Value>() const
{
    if (!value_) return nullptr;
    return std::shared_ptr<Value>(owner_->shared_from_this(), value_);
}

ArrayRef::Iterator& ArrayRef::Iterator::operator++()
{
    ++at_;
    return *this;
}

size_t ArrayRef::size() const
{
    const ContainerHeader* header = headerOf(bits_, kArrayTag);
    return header ? header->size : 0;
}

ValuePtr ArrayRef::operator[](size_t i) const
{
    const ContainerHeader* header = headerOf(bits_, kArrayTag);
    return {arraySlots(header) + i, header->owner};
}

ArrayRef::Iterator ArrayRef::begin() const
{
    const ContainerHeader* header = headerOf(bits_, kArrayTag);
    if (!header) return {nullptr, nullptr};
    return {arraySlots(header), header->owner};
}

ArrayRef::Iterator ArrayRef::end() const
{
    const ContainerHeader* header = headerOf(bits_, kArrayTag);
    if (!header) return {nullptr, nullptr};
    return {arraySlots(header) + header->size, header->owner};
}

size_t ObjectRef::size() const
{
    const ContainerHeader* header = headerOf(bits_, kObjectTag);
    return header ? header->size : 0;
}

Member ObjectRef::operator[](size_t i) const
{
    const ContainerHeader* header = headerOf(bits_, kObjectTag);
    ObjectEntry& entry = objectSlots(header)[i];
    return {entry.key, {&entry.value, header->owner}};
}

const Value* Value::get(const char* key) const
{
    const ContainerHeader* header = headerOf(RefAccess::word(object), kObjectTag);
    if (type != Type::Object || !header || key == nullptr) return nullptr;
    const size_t length = std::strlen(key);
    const ObjectEntry* entries = objectSlots(header);
    for (uint32_t i = 0; i < header->size; ++i) {
        const StringRef& name = entries[i].key;
        if (name.size() == length && std::memcmp(name.data(), key, length) == 0) return &entries[i].value;
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
