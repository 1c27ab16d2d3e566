#include "net/icon_loader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "net/http_client.h"
#include "net/ico.h"
#include "net/image_decode.h"
#include "net/image_size.h"

namespace {

constexpr int32_t kIconNotRequested = 0;
constexpr int32_t kIconLoading = 1;
constexpr int32_t kIconReady = 2;
constexpr int32_t kIconFailed = 3;

constexpr size_t kIconsKeptAfterTrim = kMaxIconBitmaps - kMaxIconFetches;
// How long a worker with nothing to fetch waits for the next icon before it
// ends: scrolling asks for icon after icon, and waking a waiting thread is
// cheaper than starting one each time.
constexpr auto kIdleWorkerLinger = std::chrono::seconds(10);

// What a fetch needs. It owns a reference to its record, so a new catalog may
// drop the record meanwhile; it keeps the window handle rather than the catalog.
struct IconLoadStart {
    std::shared_ptr<AppInfo> app;
    HWND window;
    std::wstring url;
    int side;  // decoded to side x side pixels
};

AppInfo& appOf(const IconJob& job) { return *static_cast<IconLoadStart*>(job.get())->app; }

// Workers may still run at exit: never destroyed.
struct IconLoaderState {
    std::mutex lock;
    IconSchedule schedule{kMaxIconFetches};
    // Workers waiting for a job, and jobs handed to them not yet taken.
    std::condition_variable jobHandedOver;
    size_t idleWorkers = 0;
    std::vector<IconJob> handedOver;
};

IconLoaderState& loader()
{
    static IconLoaderState* state = new IconLoaderState;
    return *state;
}

std::atomic<int>& decodeSide()
{
    static std::atomic<int> side{kIconSide};
    return side;
}

// Deletes the bitmaps of records the schedule let go of.
void releaseIcons(const std::vector<std::shared_ptr<void>>& released)
{
    for (const auto& record : released) {
        AppInfo& app = *static_cast<AppInfo*>(record.get());
        HBITMAP bitmap = std::exchange(app.iconBitmap, nullptr);
        app.iconState.store(kIconNotRequested);
        if (bitmap) DeleteObject(bitmap);
    }
}

struct FetchOutcome {
    HBITMAP bitmap = nullptr;  // the decoded icon, owned by the receiver
    bool notify = false;       // an image body reached the decoder
};

FetchOutcome fetchIcon(const std::wstring& url, int side)
{
    FetchOutcome outcome;
    HttpResponse response;
    std::wstring errorText;
    const HttpResult result =
        HttpClient::request(url, {}, nullptr, L"GET", DataSink(), response, errorText, nullptr);
    if (result != HttpResult::Ok || response.body.empty() || response.body.size() > kMaxIconBytes) return outcome;
    const std::string image = reduceIco(response.body);
    // The decoder makes the whole picture before scaling it: a few compressed
    // bytes may declare gigabytes of pixels. Refused like a picture that fails.
    if (!imageSizeWithin(image, kMaxIconImageSide)) {
        outcome.notify = true;
        return outcome;
    }
    HBITMAP bitmap = nullptr;
    switch (decodeImageAtSize(image, side, bitmap)) {
    case DecodeResult::Decoded:
        outcome.bitmap = bitmap;
        outcome.notify = true;
        break;
    case DecodeResult::NoMemory:
        break;
    case DecodeResult::Failed:
        outcome.notify = true;
        break;
    }
    return outcome;
}

// Runs job, then whatever waiting job the schedule hands this slot next.
void runFetches(IconJob job)
{
    while (job) {
        const IconLoadStart& start = *static_cast<IconLoadStart*>(job.get());
        AppInfo& app = *start.app;
        const int32_t state = app.iconState.load();
        const bool settled = state == kIconReady || state == kIconFailed;
        const FetchOutcome outcome = settled ? FetchOutcome() : fetchIcon(start.url, start.side);
        IconJob next;
        {
            std::lock_guard<std::mutex> hold(loader().lock);
            if (!settled) {
                // The bitmap before the state: a reader that sees 2 sees the handle.
                if (outcome.bitmap) app.iconBitmap = outcome.bitmap;
                app.iconState.store(outcome.bitmap ? kIconReady : kIconFailed);
            }
            next = loader().schedule.finishFetch(&app, outcome.bitmap != nullptr);
        }
        if (outcome.notify) PostMessageW(start.window, WM_APP_ICON_READY, static_cast<WPARAM>(app.id), 0);
        // The finished job lets go of its record here, outside the lock.
        job = std::move(next);
    }
}

// Waits a while for a job handed to an idle worker; null when none came.
IconJob waitForHandedJob()
{
    IconLoaderState& state = loader();
    std::unique_lock<std::mutex> hold(state.lock);
    ++state.idleWorkers;
    const bool handed =
        state.jobHandedOver.wait_for(hold, kIdleWorkerLinger, [&state] { return !state.handedOver.empty(); });
    --state.idleWorkers;
    if (!handed) return nullptr;
    IconJob job = std::move(state.handedOver.back());
    state.handedOver.pop_back();
    return job;
}

// Runs job, then whatever waiting job the schedule hands this slot next, then
// jobs handed to it while it waits idle.
void runIconJobs(IconJob job)
{
    for (; job; job = waitForHandedJob()) runFetches(std::move(job));
}

// The one place an icon worker thread is started (detached). False when no
// thread could be had.
bool startIconWorker(const IconJob& job)
{
    return static_cast<bool>(startDetachedThread([job]() mutable { runIconJobs(std::move(job)); }));
}

// Starts job in the slot it was given: on an idle worker when one waits, else
// on a new thread. Without a thread it fails, and the slot passes to the next
// waiting job.
void launch(IconJob job)
{
    {
        IconLoaderState& state = loader();
        std::lock_guard<std::mutex> hold(state.lock);
        if (state.idleWorkers > state.handedOver.size()) {
            state.handedOver.push_back(std::move(job));
            state.jobHandedOver.notify_one();
            return;
        }
    }
    while (job && !startIconWorker(job)) {
        AppInfo& app = appOf(job);
        IconJob next;
        {
            std::lock_guard<std::mutex> hold(loader().lock);
            app.iconState.store(kIconFailed);
            next = loader().schedule.finishFetch(&app, false);
        }
        job = std::move(next);
    }
}

}  // namespace

void startIconLoad(Catalog& catalog, HWND window, const std::shared_ptr<AppInfo>& app,
                   const std::wstring& serverUrl)
{
    if (!app || app->icon.empty() || app->iconState.load() != kIconNotRequested) return;
    app->iconState.store(kIconLoading);
    catalog.notifyWindow.store(window);
    IconJob job = std::make_shared<IconLoadStart>(IconLoadStart{app, window, serverUrl + app->icon, iconSide()});
    bool runNow = false;
    {
        std::lock_guard<std::mutex> hold(loader().lock);
        runNow = loader().schedule.request(app, job);
    }
    if (runNow) launch(std::move(job));
}

void beginIconFrame()
{
    std::vector<IconJob> dropped;
    {
        std::lock_guard<std::mutex> hold(loader().lock);
        dropped = loader().schedule.beginFrame();
    }
    for (const IconJob& job : dropped) appOf(job).iconState.store(kIconNotRequested);
    dropped.clear();
    trimIcons();
}

void noteIconDrawn(const AppInfo& app)
{
    std::lock_guard<std::mutex> hold(loader().lock);
    loader().schedule.noteDrawn(&app);
}

void trimIcons()
{
    std::vector<std::shared_ptr<void>> released;
    {
        std::lock_guard<std::mutex> hold(loader().lock);
        released = loader().schedule.takeOverLimit(kIconsKeptAfterTrim);
    }
    releaseIcons(released);
}

void setIconSide(int side) { decodeSide().store(side > 0 ? side : kIconSide); }

int iconSide() { return decodeSide().load(); }

void dropDecodedIcons()
{
    std::vector<std::shared_ptr<void>> released;
    {
        std::lock_guard<std::mutex> hold(loader().lock);
        released = loader().schedule.takeOverLimit(0);
    }
    releaseIcons(released);
}
