#pragma once
// Move-only owner of a WinHTTP handle (session, connection or request).

#include <windows.h>
#include <winhttp.h>

#include "core/handles.h"

struct WinHttpCloser {
    void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, nullptr, WinHttpCloser>;
