// The catalog loader thread: one bootstrap, then one message to the window.

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "net/catalog.h"

bool startCatalogLoad(Catalog& catalog, HWND window, const std::wstring& serverUrl)
{
    Catalog* target = &catalog;
    return static_cast<bool>(startDetachedThread([target, window, serverUrl] {
        const bool loaded = bootstrap(*target, serverUrl);
        PostMessageW(window, WM_APP_CATALOG_READY, loaded ? 1 : 0, 0);
    }));
}
