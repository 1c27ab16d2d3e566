#pragma once
// A small JSON value tree with a lenient parser and a string escaper.
// Platform-free.
//
// A parsed document lives in one arena: every value is a 24-byte node stored
// inline in its array or object, strings and keys are length-prefixed bytes in
// the same arena. `string`, `array` and `object` are read-only views into it
// that read like the standard containers; an array element or an object
// member's value comes as a ValuePtr, which turns into a std::shared_ptr that
// keeps the whole document alive. A document is never changed after parsing.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace json {

enum class Type : int32_t { Null = 0, Bool = 1, Number = 2, String = 3, Array = 4, Object = 5 };

constexpr int32_t kMaxJsonDepth = 64;
// Longest number token accepted, in bytes; no real document comes near it.
constexpr size_t kMaxNumberToken = 1024;

struct Value;
struct Member;
class Document;
struct RefAccess;

// The bytes of a string value or of a key: any bytes, NUL included, always
// followed by a NUL. Empty when the value is not a String.
class StringRef {
public:
    static constexpr size_t npos = std::string::npos;

    StringRef() = default;
    // Only the empty literal, so that `found ? value->string : ""` has a type.
    template <size_t N, typename = std::enable_if_t<N == 1>>
    StringRef(const char (&)[N])
    {
    }

    size_t size() const;
    size_t length() const { return size(); }
    bool empty() const { return size() == 0; }
    const char* data() const;
    const char* c_str() const { return data(); }
    const char* begin() const { return data(); }
    const char* end() const { return data() + size(); }
    char operator[](size_t i) const { return data()[i]; }
    std::string_view view() const { return {data(), size()}; }
    operator std::string() const { return std::string(data(), size()); }

    size_t find(char ch, size_t from = 0) const { return view().find(ch, from); }
    size_t find(std::string_view text, size_t from = 0) const { return view().find(text, from); }
    size_t rfind(char ch, size_t from = npos) const { return view().rfind(ch, from); }
    size_t rfind(std::string_view text, size_t from = npos) const { return view().rfind(text, from); }
    int compare(std::string_view text) const { return view().compare(text); }
    std::string substr(size_t from, size_t count = npos) const { return std::string(view().substr(from, count)); }

    friend bool operator==(const StringRef& a, const StringRef& b) { return a.view() == b.view(); }
    friend bool operator==(const StringRef& a, const char* b) { return a.view() == std::string_view(b); }
    friend bool operator==(const char* a, const StringRef& b) { return b == a; }
    friend bool operator==(const StringRef& a, const std::string& b) { return a.view() == std::string_view(b); }
    friend bool operator==(const std::string& a, const StringRef& b) { return b == a; }
    friend bool operator!=(const StringRef& a, const StringRef& b) { return !(a == b); }
    friend bool operator!=(const StringRef& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const StringRef& b) { return !(b == a); }
    friend bool operator!=(const StringRef& a, const std::string& b) { return !(a == b); }
    friend bool operator!=(const std::string& a, const StringRef& b) { return !(b == a); }
    friend bool operator<(const StringRef& a, const StringRef& b) { return a.view() < b.view(); }

    friend std::string operator+(const StringRef& a, std::string_view b) { return std::string(a).append(b); }
    friend std::string operator+(const StringRef& a, const char* b) { return std::string(a).append(b); }
    friend std::string operator+(const StringRef& a, const StringRef& b) { return std::string(a).append(b.view()); }
    friend std::string operator+(std::string a, const StringRef& b) { return a.append(b.view()); }
    friend std::string operator+(const char* a, const StringRef& b) { return std::string(a).append(b.view()); }
    friend std::ostream& operator<<(std::ostream& out, const StringRef& text);

private:
    friend struct RefAccess;
    // A tagged arena address (see json_document.h); 0 is the empty string.
    uintptr_t bits_ = 0;
};

// A pointer to a value inside a parsed document. Converts to a shared_ptr that
// shares the document's ownership.
class ValuePtr {
public:
    ValuePtr() = default;
    ValuePtr(Value* value, const Document* owner) : value_(value), owner_(owner) {}

    Value* get() const { return value_; }
    Value& operator*() const { return *value_; }
    Value* operator->() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    // Takes a reference on the document; the value must belong to a live one.
    operator std::shared_ptr<Value>() const;

    friend bool operator==(const ValuePtr& a, const ValuePtr& b) { return a.value_ == b.value_; }
    friend bool operator!=(const ValuePtr& a, const ValuePtr& b) { return a.value_ != b.value_; }
    friend bool operator==(const ValuePtr& a, std::nullptr_t) { return !a.value_; }
    friend bool operator!=(const ValuePtr& a, std::nullptr_t) { return a.value_ != nullptr; }
    friend bool operator==(std::nullptr_t, const ValuePtr& a) { return !a.value_; }
    friend bool operator!=(std::nullptr_t, const ValuePtr& a) { return a.value_ != nullptr; }

private:
    Value* value_ = nullptr;
    const Document* owner_ = nullptr;
};

// The elements of an Array, in document order. Empty when the value is not one.
class ArrayRef {
public:
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ValuePtr;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ValuePtr;

        Iterator(Value* at, const Document* owner) : at_(at), owner_(owner) {}
        ValuePtr operator*() const { return {at_, owner_}; }
        Iterator& operator++();
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }
        friend bool operator!=(const Iterator& a, const Iterator& b) { return a.at_ != b.at_; }

    private:
        Value* at_;
        const Document* owner_;
    };

    ArrayRef() = default;
    size_t size() const;
    bool empty() const { return size() == 0; }
    ValuePtr operator[](size_t i) const;
    ValuePtr front() const { return (*this)[0]; }
    ValuePtr back() const { return (*this)[size() - 1]; }
    Iterator begin() const;
    Iterator end() const;

private:
    friend struct RefAccess;
    uintptr_t bits_ = 0;
};

// An object member: its key and its value.
struct Member {
    StringRef first;
    ValuePtr second;
};

// The members of an Object, in document order; duplicate keys are all kept.
// Empty when the value is not one.
class ObjectRef {
public:
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = Member;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Member;

        Iterator(uintptr_t word, size_t at) : word_(word), at_(at) {}
        Member operator*() const
        {
            ObjectRef object;
            object.bits_ = word_;
            return object[at_];
        }
        Iterator& operator++()
        {
            ++at_;
            return *this;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.at_ == b.at_; }
        friend bool operator!=(const Iterator& a, const Iterator& b) { return a.at_ != b.at_; }

    private:
        uintptr_t word_;
        size_t at_;
    };

    ObjectRef() = default;
    size_t size() const;
    bool empty() const { return size() == 0; }
    Member operator[](size_t i) const;
    Member front() const { return (*this)[0]; }
    Member back() const { return (*this)[size() - 1]; }
    Iterator begin() const { return {bits_, 0}; }
    Iterator end() const { return {bits_, size()}; }

private:
    friend struct RefAccess;
    uintptr_t bits_ = 0;
};

struct Value {
    Value() : string() {}

    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    // One tagged word serves the three views; each is empty unless the word
    // holds its own kind, so only the view of the value's type has contents.
    union {
        StringRef string;
        ArrayRef array;
        ObjectRef object;
    };

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
