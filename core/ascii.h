#pragma once
// ASCII-only case folding: the same result whatever the user's locale.
// Platform-free.

template <typename Char>
constexpr Char asciiLower(Char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}
