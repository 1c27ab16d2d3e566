#pragma once
// Inside a parsed document: the arena it lives in and the layout of the blocks
// that the views of json.h point to. For core/json*.cpp only.
//
// A view's word is a block address with a kind in its two low bits (blocks
// are at least 4-aligned). 0 is the empty string; a tag without an address is
// an empty array or object.
//   string block:    uint32 byte count, the bytes, a NUL             (4-aligned)
//   array block:     ContainerHeader, then `size` Values             (8-aligned)
//   object block:    ContainerHeader, then `size` ObjectEntry items  (8-aligned)

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/json.h"

namespace json {

constexpr uintptr_t kStringTag = 0;
constexpr uintptr_t kArrayTag = 1;
constexpr uintptr_t kObjectTag = 2;
constexpr uintptr_t kTagMask = 3;

struct ContainerHeader {
    uint32_t size;
    const Document* owner;
};

struct ObjectEntry {
    StringRef key;
    Value value;
};

static_assert(sizeof(Value) == 24, "a value is three words");
static_assert(sizeof(ObjectEntry) == 32, "a member is four words");
static_assert(alignof(ContainerHeader) == 8 && sizeof(ContainerHeader) == 16, "slots follow the header 8-aligned");

// Bytes of the string block holding `length` bytes.
constexpr size_t stringBlockBytes(size_t length) { return (sizeof(uint32_t) + length + 1 + 3) & ~size_t(3); }

// Owns every block of one parsed document. The root value lives here; a
// shared_ptr to any value of the document aliases the shared_ptr of this.
class Document : public std::enable_shared_from_this<Document> {
public:
    // textBytes: the length of the text, which sizes the first chunk.
    explicit Document(size_t textBytes);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // Uninitialised bytes aligned to `align` (4 or 8), valid as long as the document.
    void* allocate(size_t bytes, size_t align)
    {
        const uintptr_t at = (reinterpret_cast<uintptr_t>(next_) + align - 1) & ~(uintptr_t(align) - 1);
        if (at + bytes > reinterpret_cast<uintptr_t>(limit_)) return allocateSlowly(bytes);
        next_ = reinterpret_cast<char*>(at + bytes);
        return reinterpret_cast<void*>(at);
    }

    Value root;

private:
    void* allocateSlowly(size_t bytes);

    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t nextChunkBytes_;
    char* next_ = nullptr;
    char* limit_ = nullptr;
};

// The only code that reads the words of the views or makes views. A value's
// view is set by assigning a whole view, which makes it the union's member.
struct RefAccess {
    static uintptr_t word(const StringRef& r) { return r.bits_; }
    static uintptr_t word(const ArrayRef& r) { return r.bits_; }
    static uintptr_t word(const ObjectRef& r) { return r.bits_; }
    template <typename View>
    static View make(uintptr_t bits)
    {
        View view;
        view.bits_ = bits;
        return view;
    }
};

// The block of a word of that kind, or null.
inline const char* blockOf(uintptr_t word, uintptr_t tag)
{
    return (word & kTagMask) == tag ? reinterpret_cast<const char*>(word & ~kTagMask) : nullptr;
}

inline Value* arraySlots(const ContainerHeader* header)
{
    return reinterpret_cast<Value*>(const_cast<ContainerHeader*>(header) + 1);
}

inline ObjectEntry* objectSlots(const ContainerHeader* header)
{
    return reinterpret_cast<ObjectEntry*>(const_cast<ContainerHeader*>(header) + 1);
}

}  // namespace json
