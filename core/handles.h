#pragma once
// Small move-only owners for Win32 handles: each closes its handle exactly once.

#include <windows.h>

#include <utility>

template <typename T, T Invalid, typename Closer>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
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
        value_ = value;
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
struct GdiObjectDeleter {
    void operator()(HGDIOBJ o) const { DeleteObject(o); }
};

// A file handle: invalid is INVALID_HANDLE_VALUE.
class UniqueFile : public UniqueResource<HANDLE, nullptr, HandleCloser> {
public:
    UniqueFile() = default;
    explicit UniqueFile(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};
// Process, thread and event handles: invalid is null.
using UniqueHandle = UniqueResource<HANDLE, nullptr, HandleCloser>;
using UniqueRegKey = UniqueResource<HKEY, nullptr, RegKeyCloser>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, nullptr, GdiObjectDeleter>;
