#pragma once
// Small move-only owners for Win32 handles: each closes its handle exactly once.

#include <windows.h>

#include <utility>

// Values a handle kind stores as they come.
struct StoreAsGiven {
    template <typename T>
    static T apply(T value)
    {
        return value;
    }
};

// Normalize::apply maps every other spelling of "no handle" to Invalid, on
// every way in (constructor and reset).
template <typename T, T Invalid, typename Closer, typename Normalize = StoreAsGiven>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(Normalize::apply(value)) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, Invalid);
        }
        return *this;
    }

    T get() const { return value_; }
    bool valid() const { return value_ != Invalid; }
    explicit operator bool() const { return valid(); }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid)
    {
        if (value_ != Invalid) Closer()(value_);
        value_ = Normalize::apply(value);
    }

private:
    T value_ = Invalid;
};

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct RegKeyCloser {
    void operator()(HKEY k) const { RegCloseKey(k); }
};

// CreateFileW fails with INVALID_HANDLE_VALUE, not null.
struct NoInvalidFileHandle {
    static HANDLE apply(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
};
// A file handle: INVALID_HANDLE_VALUE and null both mean none.
using UniqueFile = UniqueResource<HANDLE, nullptr, HandleCloser, NoInvalidFileHandle>;
// Process, thread and event handles: invalid is null.
using UniqueHandle = UniqueResource<HANDLE, nullptr, HandleCloser>;
using UniqueRegKey = UniqueResource<HKEY, nullptr, RegKeyCloser>;
