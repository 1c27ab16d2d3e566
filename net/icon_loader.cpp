#include "net/icon_loader.h"

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "net/http_client.h"
#include "net/ico.h"
#include "net/image_decode.h"

namespace {

constexpr int32_t kIconLoading = 1;
constexpr int32_t kIconReady = 2;
constexpr int32_t kIconFailed = 3;

// The worker owns a reference to its record, so a new catalog may drop the
// record meanwhile; it keeps the window handle rather than the catalog.
struct IconLoadStart {
    std::shared_ptr<AppInfo> app;
    HWND window;
    std::wstring url;
};

// False when the worker is to stop without notifying the window.
bool loadIcon(const IconLoadStart& start)
{
    AppInfo& app = *start.app;
    HttpResponse response;
    std::wstring errorText;
    const HttpResult result =
        HttpClient::request(start.url, {}, nullptr, L"GET", DataSink(), response, errorText, nullptr);
    if (result != HttpResult::Ok || response.body.empty() || response.body.size() > kMaxIconBytes) {
        app.iconState.store(kIconFailed);
        return false;
    }
    HBITMAP bitmap = nullptr;
    switch (decodeImage(reduceIco(response.body), bitmap)) {
    case DecodeResult::Decoded:
        // The bitmap before the state: a reader that sees 2 sees the handle.
        app.iconBitmap = bitmap;
        app.iconState.store(kIconReady);
        return true;
    case DecodeResult::NoMemory:
        app.iconState.store(kIconFailed);
        return false;
    case DecodeResult::Failed:
        break;
    }
    app.iconState.store(kIconFailed);
    return true;
}

void iconLoadWorker(const IconLoadStart& start)
{
    const int32_t state = start.app->iconState.load();
    if (state == kIconReady || state == kIconFailed) return;
    if (loadIcon(start)) PostMessageW(start.window, WM_APP_ICON_READY, static_cast<WPARAM>(start.app->id), 0);
}

}  // namespace

void startIconLoad(Catalog& catalog, HWND window, const std::shared_ptr<AppInfo>& app,
                   const std::wstring& serverUrl)
{
    if (!app || app->icon.empty() || app->iconState.load() != 0) return;
    app->iconState.store(kIconLoading);
    catalog.notifyWindow.store(window);
    IconLoadStart start{app, window, serverUrl + app->icon};
    if (!startDetachedThread([start] { iconLoadWorker(start); })) app->iconState.store(kIconFailed);
}
