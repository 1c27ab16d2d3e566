#pragma once
// Lazy icon loading within bounds: at most kMaxIconFetches icons are fetched
// at once by detached workers, the others wait and are served newest first;
// icons are decoded at the size of a card's icon, and at most kMaxIconBitmaps
// decoded icons are kept.
//
// Painting drives it. On the UI thread, for every painted frame:
//   1. beginIconFrame() once, before anything is drawn;
//   2. for every app icon drawn (card, panel row, banner), whatever its state:
//      noteIconDrawn(app), and startIconLoad(...) when iconState is 0;
//      draw iconBitmap only when iconState is 2, scaled down from
//      kIconSide x kIconSide where the rectangle is smaller.
// A request still waiting whose icon was not drawn in the last finished frame
// is dropped (iconState back to 0), so cards scrolled past cost nothing.
// Decoded icons beyond the limit, least recently drawn first, are deleted
// (iconState back to 0, iconBitmap null) and load again when next drawn.
// Without beginIconFrame calls nothing is dropped or deleted by frames; every
// request is served in turn.
//
// Threads: every function here is for the UI thread, the only thread that
// reads iconBitmap or deletes one. Workers write a record's iconBitmap before
// they store 2 in iconState and touch a record only while its state is 1.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/catalog.h"
#include "net/icon_queue.h"

// Bodies above this many bytes are refused before any decoding.
constexpr size_t kMaxIconBytes = 4194304;
// Icons are decoded to this many pixels square: the icon of a card at 96 DPI.
constexpr int kIconSide = 84;
// Pictures that declare more pixels than this on a side, or whose size cannot
// be read from their header, are refused before decoding (iconState 3).
constexpr int64_t kMaxIconImageSide = 1024;

// The side icons are decoded at from now on: a card's icon at the window's
// scale. UI thread; fetches already running keep the side they began with.
void setIconSide(int side);
int iconSide();
// Lets go of every decoded icon (iconState back to 0): each loads again, at
// the side in force, when it is next drawn. UI thread.
void dropDecodedIcons();

// Does nothing when the app has no icon path or its iconState is not 0;
// otherwise sets iconState 1, stores window as the catalog's notifyWindow and
// queues a fetch that holds its own reference to the record; it starts at once
// when fewer than kMaxIconFetches run. The fetch ends with iconState 2
// (iconBitmap set) or 3, and posts WM_APP_ICON_READY (wParam the app id) to
// window once it got an image body to decode, whether decoding worked or not
// (or the picture was refused for its size);
// not after a failed fetch, an empty or oversize body, or no memory for the
// copy. A request dropped before its turn goes back to 0 without a message.
// GDI+ must have been started (ensureGdiplus). The request counts as drawn.
void startIconLoad(Catalog& catalog, HWND window, const std::shared_ptr<AppInfo>& app,
                   const std::wstring& serverUrl);

// At the start of each painted frame: drops waiting requests not drawn in the
// frame before, then trimIcons.
void beginIconFrame();
// For every app icon a frame draws. Cheap: one lookup under a short lock.
void noteIconDrawn(const AppInfo& app);
// Deletes the least recently drawn decoded icons until at most
// kMaxIconBitmaps - kMaxIconFetches remain, leaving room for the fetches
// running now, so the count stays within kMaxIconBitmaps up to the next frame.
void trimIcons();
