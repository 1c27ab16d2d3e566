#pragma once
// Paints prepared states of the main window into an off-screen 32-bit bitmap
// and reads pixels and hit zones back, at 96 DPI or any other. With
// PAKVANE_SAVE_FRAMES set to a folder, each frame is also written there as a
// BMP for a person to look at.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "download/download_manager.h"
#include "net/catalog.h"
#include "ui/layout.h"
#include "ui/paint_context.h"
#include "ui/view_state.h"

// The frame in layout units; in pixels it is these times the scale.
constexpr int kFrameWidth = 1180;
constexpr int kFrameHeight = 780;

// RGB as 0xRRGGBB.
using Rgb = uint32_t;
// An ARGB fill laid over an opaque background.
Rgb over(uint32_t argb, Rgb background);

class FrameHarness {
public:
    explicit FrameHarness(int dpi = kBaseDpi);
    ~FrameHarness();
    FrameHarness(const FrameHarness&) = delete;
    FrameHarness& operator=(const FrameHarness&) = delete;

    ViewState view;
    Catalog catalog;
    std::map<int32_t, TaskView> tasks;
    std::wstring serverUrl = L"http://127.0.0.1:9";
    std::wstring downloadFolder = L"C:\\Users\\tester\\Downloads\\Pakvane";
    bool maximized = false;
    uint32_t now = 100000;
    HWND iconWindow = nullptr;  // set: icons are fetched and arrive there

    // Lays out and paints one frame, as the window does; name (when given) is
    // the file name of the saved copy.
    void paint(const char* name = nullptr);
    // A pixel of the frame.
    Rgb pixel(int x, int y) const;
    // The pixel at the middle of layout unit (x, y): the same place at every scale.
    Rgb probe(int x, int y) const;
    std::vector<HitZone> zones(HitKind kind) const;
    const Scale& scale() const { return scale_; }

    // Catalog building.
    void addCategory(const std::wstring& id, const std::wstring& name);
    std::shared_ptr<AppInfo> addApp(int32_t id, const std::wstring& name, const std::wstring& categoryId,
                                    bool hasPackage = true);
    void addTask(int32_t id, TaskState::Value state, int64_t received = 0, int64_t size = 0, bool md5Ok = true,
                 bool isArchive = false);
    void hover(HitKind kind, int32_t id = 0);

private:
    Scale scale_;
    int width_ = 0;
    int height_ = 0;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
};

// ---- prepared states, shared by the probes at every scale

// A catalog of three categories; the second is shown with four apps in one
// row: installable, installed, without package, downloading at 37 %.
void fillCatalog(FrameHarness& f);
// Card k of the first row at 1180 units: 221 wide, 235 apart.
inline int cardLeft(int k) { return 226 + 235 * k; }

// The download page with five rows: downloading at 37 %, an installer with
// an MD5 mismatch, failed, installed, an archive.
void fillTasks(FrameHarness& f);
// Row k's reference line at scroll 0.
inline int line(int k) { return 216 + 96 * k; }

// Live GDI objects of the process, found by asking every 16-bit handle index
// for its type (Wine takes a handle without its generation word). Wine's
// GetGuiResources does not count.
int liveGdiHandles();

// Colours within tolerance per channel, with a readable failure.
::testing::AssertionResult closeTo(Rgb got, Rgb want, int tolerance = 3);
