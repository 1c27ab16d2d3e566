// The module resources, read from this test program (it links res/pakvane.rc
// like the product): icon 1 in every size, the logo PNG decoded by GDI+ the
// way the title bar loads it, and the version the settings footer shows.

#include "net/image_decode.h"
#include "ui/product_version.h"

#include "pakvane_version.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

namespace gdip = Gdiplus::DllExports;

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

const BYTE* resourceData(LPCWSTR name, LPCWSTR type, DWORD& size)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return nullptr;
    size = SizeofResource(module, found);
    return static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
}

struct Pixel {
    BYTE b, g, r, a;
};

// The icon's colour pixels, top row first, through a 32-bit DIB section.
std::vector<Pixel> iconPixels(HICON icon, int size)
{
    std::vector<Pixel> pixels(static_cast<size_t>(size) * size);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, section);
    RECT all = {0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::memcpy(pixels.data(), bits, pixels.size() * sizeof(Pixel));
    SelectObject(dc, old);
    DeleteObject(section);
    DeleteDC(dc);
    return pixels;
}

bool isWhite(Pixel p) { return p.r > 230 && p.g > 230 && p.b > 230; }
bool isViolet(Pixel p) { return p.b > 200 && p.r > 60 && p.r < 140 && p.g < 90; }

}  // namespace

TEST(Resources, IconOneHoldsEverySize)
{
    DWORD size = 0;
    const BYTE* group = resourceData(MAKEINTRESOURCEW(1), RT_GROUP_ICON, size);
    ASSERT_TRUE(group);
    ASSERT_GE(size, sizeof(GroupIconHeader));
    const auto* header = reinterpret_cast<const GroupIconHeader*>(group);
    ASSERT_EQ(size, sizeof(GroupIconHeader) + header->count * sizeof(GroupIconEntry));
    std::vector<int> sides;
    for (int i = 0; i < header->count; ++i) {
        const auto* entry = reinterpret_cast<const GroupIconEntry*>(group + sizeof(GroupIconHeader)) + i;
        sides.push_back(entry->width == 0 ? 256 : entry->width);
        EXPECT_EQ(entry->bitCount, 32);
    }
    EXPECT_EQ(sides, (std::vector<int>{16, 24, 32, 48, 256}));

    for (int side : sides) {
        SCOPED_TRACE(side);
        // The image the system picks for this size is the one drawn for it.
        const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group), TRUE, side, side, LR_DEFAULTCOLOR);
        DWORD imageSize = 0;
        const BYTE* image = resourceData(MAKEINTRESOURCEW(id), RT_ICON, imageSize);
        ASSERT_TRUE(image);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image), imageSize, TRUE, 0x00030000, side, side,
                                              LR_DEFAULTCOLOR);
        ASSERT_TRUE(icon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, side);
        EXPECT_EQ(bitmap.bmHeight, side);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);

        // A white arrow shaft in the middle, violet beside it, nothing in the corner.
        const std::vector<Pixel> pixels = iconPixels(icon, side);
        auto at = [&](double x, double y) {
            return pixels[static_cast<size_t>(y * side) * side + static_cast<size_t>(x * side)];
        };
        EXPECT_TRUE(isWhite(at(0.5, 0.3)));
        EXPECT_TRUE(isViolet(at(0.2, 0.3)));
        EXPECT_TRUE(isViolet(at(0.8, 0.6)));
        const Pixel corner = at(0, 0);
        EXPECT_LT(corner.r + corner.g + corner.b, 3 * 120) << "the corner shows the black background";
        DestroyIcon(icon);
    }

    // The window class loads it by number, at the small and large sizes.
    for (int side : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, 0));
        ASSERT_TRUE(icon) << side;
        DestroyIcon(icon);
    }
}

TEST(Resources, LogoIsA48PixelPngThatGdiplusDecodes)
{
    ASSERT_TRUE(ensureGdiplus());
    DWORD size = 0;
    const BYTE* bytes = resourceData(MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(10) /* RT_RCDATA */, size);
    ASSERT_TRUE(bytes);
    ASSERT_GT(size, 8u);
    EXPECT_EQ(std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8), 0);

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    ASSERT_TRUE(memory);
    std::memcpy(GlobalLock(memory), bytes, size);
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(memory, TRUE, &stream), S_OK);
    Gdiplus::GpBitmap* bitmap = nullptr;
    ASSERT_EQ(gdip::GdipCreateBitmapFromStream(stream, &bitmap), Gdiplus::Ok);
    UINT width = 0, height = 0;
    gdip::GdipGetImageWidth(bitmap, &width);
    gdip::GdipGetImageHeight(bitmap, &height);
    EXPECT_EQ(width, 48u);
    EXPECT_EQ(height, 48u);

    Gdiplus::ARGB shaft = 0, side = 0, corner = 0;
    gdip::GdipBitmapGetPixel(bitmap, 24, 14, &shaft);
    gdip::GdipBitmapGetPixel(bitmap, 10, 24, &side);
    gdip::GdipBitmapGetPixel(bitmap, 0, 0, &corner);
    EXPECT_EQ(shaft, 0xFFFFFFFFu);
    EXPECT_EQ(side >> 24, 0xFFu);
    EXPECT_GT(side & 0xFF, 0xD0u) << std::hex << side;  // violet: strong blue
    EXPECT_EQ(corner >> 24, 0u) << "the rounded corner is transparent";
    gdip::GdipDisposeImage(bitmap);
    stream->Release();
}

TEST(Resources, VersionAgreesWithTheProject)
{
    EXPECT_EQ(moduleProductVersion(), PAKVANE_VERSION_WIDE);

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path, &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = MAKELONG(PAKVANE_VERSION_MINOR, PAKVANE_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, PAKVANE_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);

    void* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\080404b0\\FileVersion", &value, &length));
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), PAKVANE_VERSION_WIDE);
}
