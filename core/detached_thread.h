#pragma once
// Starting a worker thread that nobody joins. The work (usually a lambda that
// owns everything the thread needs) moves to the heap and belongs to the new
// thread, which destroys it when the work returns; if the thread cannot be
// started, it is destroyed at once.

#include <windows.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "core/handles.h"

namespace detail {

template <typename Work>
DWORD WINAPI detachedThreadMain(void* param)
{
    std::unique_ptr<Work> work(static_cast<Work*>(param));
    (*work)();
    return 0;
}

}  // namespace detail

// Runs work() on a new thread. Returns the thread's handle, or an empty one
// when the thread could not be started (work is then already destroyed).
// Callers that do not keep the handle let it close at once.
template <typename Work>
UniqueHandle startDetachedThread(Work&& work)
{
    using Owned = std::decay_t<Work>;
    auto owned = std::make_unique<Owned>(std::forward<Work>(work));
    UniqueHandle thread(CreateThread(nullptr, 0, &detail::detachedThreadMain<Owned>, owned.get(), 0, nullptr));
    if (thread) owned.release();
    return thread;
}
