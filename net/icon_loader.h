#pragma once
// Lazy icon loading: one detached worker per icon fetches, reduces and decodes
// it into the record's iconBitmap.

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "net/catalog.h"

// Bodies above this many bytes are refused before any decoding.
constexpr size_t kMaxIconBytes = 4194304;

// UI thread. Does nothing when the app has no icon path or its iconState is not
// 0; otherwise sets iconState 1, stores window as the catalog's notifyWindow and
// starts a worker holding its own reference to the record. The worker ends
// with iconState 2 (iconBitmap set) or 3, and posts WM_APP_ICON_READY (wParam
// the app id) to window once it got an image body to decode, whether decoding
// worked or not; not after a failed fetch, an empty or oversize body, or no
// memory for the copy. GDI+ must have been started (ensureGdiplus).
void startIconLoad(Catalog& catalog, HWND window, const std::shared_ptr<AppInfo>& app,
                   const std::wstring& serverUrl);
