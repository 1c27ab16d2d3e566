// The catalog loader thread: one bootstrap, then one message to the window.

#include "core/app_messages.h"
#include "core/handles.h"
#include "net/catalog.h"

namespace {

struct CatalogLoadStart {
    Catalog* catalog;
    HWND window;
    std::wstring serverUrl;
};

DWORD WINAPI catalogLoadWorker(LPVOID param)
{
    std::unique_ptr<CatalogLoadStart> start(static_cast<CatalogLoadStart*>(param));
    const bool loaded = bootstrap(*start->catalog, start->serverUrl);
    HWND window = start->window;
    start.reset();
    PostMessageW(window, WM_APP_CATALOG_READY, loaded ? 1 : 0, 0);
    return 0;
}

}  // namespace

bool startCatalogLoad(Catalog& catalog, HWND window, const std::wstring& serverUrl)
{
    auto start = std::make_unique<CatalogLoadStart>(CatalogLoadStart{&catalog, window, serverUrl});
    // The thread runs detached: its handle is closed at once.
    UniqueHandle thread(CreateThread(nullptr, 0, catalogLoadWorker, start.get(), 0, nullptr));
    if (!thread) return false;
    start.release();
    return true;
}
