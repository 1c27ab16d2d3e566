// The icon loader with real GDI+ decoding of files served by the dev server,
// and the messages it posts to a real message-only window.

#include "net/icon_loader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "core/app_messages.h"
#include "core/config.h"
#include "core/text.h"
#include "net/image_decode.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"

namespace {

struct IconRun {
    std::shared_ptr<AppInfo> app;
    bool posted = false;
    MSG message{};
};

// Starts the load of the icon at `path` and waits until the worker has let go
// of the record, so every message it would post is queued by then.
IconRun runIconLoad(const std::wstring& path, int32_t appId = 77)
{
    MessageWindow window;
    Catalog catalog;
    IconRun run;
    run.app = std::make_shared<AppInfo>();
    run.app->id = appId;
    run.app->icon = path;
    startIconLoad(catalog, window.get(), run.app, testServerUrl());
    EXPECT_EQ(catalog.notifyWindow.load(), window.get());
    for (int i = 0; i < 3000 && run.app.use_count() > 1; ++i) Sleep(10);
    EXPECT_EQ(run.app.use_count(), 1) << "the worker still holds the record";
    run.posted = window.next(WM_APP_REFRESH, WM_APP_CATALOG_READY, run.message, 0);
    EXPECT_FALSE(window.pending(0, 0)) << "more than one message";
    return run;
}

std::string fixture(const char* name)
{
    std::string bytes;
    EXPECT_TRUE(readWholeFile(testSourceDir() + L"\\tests\\fixtures\\icons\\" + utf8ToWide(name), bytes)) << name;
    return bytes;
}

// Serves a fixture at /files/<name> and returns that path.
std::wstring serveFixture(const char* name)
{
    putServerFile(name, fixture(name));
    return L"/files/" + utf8ToWide(name);
}

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // top-down, 0xRRGGBB
    uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

Pixels readPixels(HBITMAP bitmap)
{
    Pixels p;
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info)) return p;
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = p.width;
    request.bmiHeader.biHeight = -p.height;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    p.rgb.resize(static_cast<size_t>(p.width) * p.height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, p.height, p.rgb.data(), &request, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (auto& px : p.rgb) px &= 0xFFFFFF;
    return p;
}

bool closeColour(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 8) return false;
    return true;
}

class IconLoader : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ensureGdiplus());
        resetServer();
    }
    void TearDown() override { resetServer(); }

    // Decoded: state 2, a card-sized bitmap of that colour in the middle and
    // in its corners (no pale rim from scaling), one message.
    void expectDecoded(const IconRun& run, uint32_t rgb, uint32_t cornerRgb)
    {
        ASSERT_EQ(run.app->iconState.load(), 2);
        ASSERT_TRUE(run.app->iconBitmap);
        EXPECT_TRUE(run.posted);
        EXPECT_EQ(run.message.message, WM_APP_ICON_READY);
        EXPECT_EQ(run.message.wParam, static_cast<WPARAM>(run.app->id));
        EXPECT_EQ(run.message.lParam, 0);
        const Pixels p = readPixels(run.app->iconBitmap);
        EXPECT_EQ(p.width, kIconSide);
        EXPECT_EQ(p.height, kIconSide);
        if (p.width != kIconSide || p.height != kIconSide) return;
        const int last = kIconSide - 1;
        EXPECT_TRUE(closeColour(p.at(last / 2, last / 2), rgb)) << std::hex << p.at(last / 2, last / 2);
        for (auto [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
            EXPECT_TRUE(closeColour(p.at(x, y), cornerRgb)) << x << "," << y << " " << std::hex << p.at(x, y);
    }
    void expectDecoded(const IconRun& run, uint32_t rgb) { expectDecoded(run, rgb, rgb); }
};

TEST_F(IconLoader, DecodesPngJpegBmpGif)
{
    const struct {
        const char* file;
        uint32_t rgb;
    } cases[] = {
        {"red16.png", 0xFF0000},
        {"blue20x10.jpg", 0x0000FF},
        {"green12.bmp", 0x00FF00},
        {"yellow14.gif", 0xFFFF00},
    };
    int32_t id = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        expectDecoded(runIconLoad(serveFixture(c.file), id++), c.rgb);
    }
}

TEST_F(IconLoader, TransparencyLiesOnOpaqueWhite)
{
    const IconRun run = runIconLoad(serveFixture("transparent8.png"));
    expectDecoded(run, 0xFFFFFF);
    for (uint32_t px : readPixels(run.app->iconBitmap).rgb) EXPECT_EQ(px, 0xFFFFFFu);
}

TEST_F(IconLoader, MultiImageIcoGivesItsBestImage)
{
    expectDecoded(runIconLoad(serveFixture("multi3.ico")), 0x0000FF);
}

TEST_F(IconLoader, IcoWhoseBestImageIsPng)
{
    expectDecoded(runIconLoad(serveFixture("pngbest.ico")), 0x00FFFF);
}

TEST_F(IconLoader, IcoEntryRunningPastTheEndIsSkipped)
{
    expectDecoded(runIconLoad(serveFixture("truncated.ico")), 0xFF0000);
}

TEST_F(IconLoader, IconPathFromTheCatalogIsAppendedToTheServer)
{
    Catalog catalog;
    ASSERT_TRUE(bootstrap(catalog, testServerUrl()));
    ASSERT_TRUE(catalog.adoptPending());
    std::shared_ptr<AppInfo> editor = findApp(catalog, 1);
    ASSERT_TRUE(editor);
    ASSERT_EQ(editor->icon, L"/icons/editor.png");
    const IconRun run = runIconLoad(editor->icon, editor->id);
    // White inside a blue frame.
    expectDecoded(run, 0xFFFFFF, 0x286EDC);
}

TEST_F(IconLoader, Oversize2048PngInIcoIsRefusedBeforeDecoding)
{
    // Reduction leaves it alone, and a picture over 1024 on a side never
    // reaches the decoder: state 3, and the message as for a failed decode.
    const IconRun run = runIconLoad(serveFixture("big2048.ico"));
    EXPECT_EQ(run.app->iconState.load(), 3);
    EXPECT_TRUE(run.posted);
    EXPECT_EQ(run.message.message, WM_APP_ICON_READY);
}

TEST_F(IconLoader, PicturesOver1024OnASideAreRefusedBeforeDecoding)
{
    // Valid black PNGs made by the server: the decoder would take each of them
    // (the 20000 x 20000 one is 1.2 MB and 1.6 GB once decoded), so state 3 is
    // the refusal.
    expectDecoded(runIconLoad(L"/_png/1024x1024"), 0x000000);
    for (const wchar_t* path : {L"/_png/1025x1", L"/_png/20000x20000"}) {
        SCOPED_TRACE(wideToUtf8(path));
        const IconRun run = runIconLoad(path);
        EXPECT_EQ(run.app->iconState.load(), 3);
        EXPECT_EQ(run.app->iconBitmap, nullptr);
        EXPECT_TRUE(run.posted);
    }
}

// A 32-bit BMP of 1024x1023 pixels whose pixel data starts at 4096, so the
// file is exactly 4 MiB; `extra` bytes follow the pixels.
std::string fourMiBBmp(size_t extra)
{
    const uint32_t offset = 4096;
    const uint32_t width = 1024, height = 1023;
    std::string bmp(offset + width * height * 4 + extra, '\0');
    auto put32 = [&bmp](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(bmp.size()));
    put32(10, offset);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bmp[26] = 1;
    bmp[28] = 32;
    for (size_t i = offset; i + 4 <= offset + width * height * 4; i += 4) {
        bmp[i] = '\x40';      // blue
        bmp[i + 1] = '\x80';  // green
        bmp[i + 2] = '\x20';  // red
    }
    return bmp;
}

TEST_F(IconLoader, FourMiBIsDecodedOneByteMoreIsRefused)
{
    const std::string exact = fourMiBBmp(0);
    ASSERT_EQ(exact.size(), kMaxIconBytes);
    ASSERT_EQ(kMaxIconBytes, 4194304u);
    putServerFile("exact.bmp", exact);
    expectDecoded(runIconLoad(L"/files/exact.bmp"), 0x208040);

    const std::string over = fourMiBBmp(1);
    ASSERT_EQ(over.size(), 4194305u);
    putServerFile("over.bmp", over);
    const IconRun refused = runIconLoad(L"/files/over.bmp");
    EXPECT_EQ(refused.app->iconState.load(), 3);
    EXPECT_EQ(refused.app->iconBitmap, nullptr);
    EXPECT_FALSE(refused.posted);
}

TEST_F(IconLoader, GarbageFailsAfterTryingAndNotifies)
{
    putServerFile("garbage.png", std::string("\x89PNG not really an image at all", 31));
    const IconRun run = runIconLoad(L"/files/garbage.png", 5);
    EXPECT_EQ(run.app->iconState.load(), 3);
    EXPECT_EQ(run.app->iconBitmap, nullptr);
    ASSERT_TRUE(run.posted);
    EXPECT_EQ(run.message.message, WM_APP_ICON_READY);
    EXPECT_EQ(run.message.wParam, 5u);
}

TEST_F(IconLoader, NotFoundFailsSilently)
{
    const IconRun run = runIconLoad(L"/icons/missing.png");
    EXPECT_EQ(run.app->iconState.load(), 3);
    EXPECT_FALSE(run.posted);
}

TEST_F(IconLoader, EmptyBodyFailsSilently)
{
    addServerRule("{\"path\":\"/icons/empty.png\",\"then\":{\"status\":200,\"body\":\"\"}}");
    const IconRun run = runIconLoad(L"/icons/empty.png");
    EXPECT_EQ(run.app->iconState.load(), 3);
    EXPECT_FALSE(run.posted);
}

TEST_F(IconLoader, NoIconPathOrAnEarlierRequestStartsNothing)
{
    MessageWindow window;
    Catalog catalog;
    auto noPath = std::make_shared<AppInfo>();
    startIconLoad(catalog, window.get(), noPath, testServerUrl());
    EXPECT_EQ(noPath->iconState.load(), 0);
    EXPECT_EQ(noPath.use_count(), 1);
    EXPECT_EQ(catalog.notifyWindow.load(), nullptr);

    for (int32_t state : {1, 2, 3}) {
        auto app = std::make_shared<AppInfo>();
        app->icon = L"/icons/editor.png";
        app->iconState = state;
        startIconLoad(catalog, window.get(), app, testServerUrl());
        EXPECT_EQ(app->iconState.load(), state);
        EXPECT_EQ(app.use_count(), 1);
    }
    std::string log;
    ASSERT_TRUE(serverGet("/_control/log", &log));
    EXPECT_EQ(log.find("/icons/editor.png"), std::string::npos) << log;
    EXPECT_FALSE(window.pending(0, 0));
}

}  // namespace
