#include <gtest/gtest.h>

#include "tests/ui/frame_harness.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "net/image_decode.h"
#include "ui/draw.h"
#include "ui/fonts.h"

namespace {

const Fonts& sharedFonts(const Scale& scale)
{
    static std::map<int, FontSet> sets;
    auto found = sets.find(scale.dpi);
    if (found == sets.end()) found = sets.emplace(scale.dpi, FontSet(scale)).first;
    return found->second.fonts();
}

int channelOf(Rgb colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

void saveBmp(const std::string& path, const uint32_t* bits, int width, int height)
{
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    DWORD pixelBytes = static_cast<DWORD>(width) * height * 4;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + pixelBytes;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::fwrite(&file, sizeof(file), 1, out);
    std::fwrite(&info, sizeof(info), 1, out);
    // GDI text leaves the alpha byte 0; a viewer would show it as a hole.
    std::vector<uint32_t> opaque(bits, bits + static_cast<size_t>(width) * height);
    for (auto& p : opaque) p |= 0xFF000000u;
    std::fwrite(opaque.data(), 1, pixelBytes, out);
    std::fclose(out);
}

}  // namespace

Rgb over(uint32_t argb, Rgb background)
{
    int alpha = static_cast<int>(argb >> 24);
    Rgb result = 0;
    for (int shift : {16, 8, 0}) {
        int c = channelOf(argb, shift);
        int b = channelOf(background, shift);
        result |= static_cast<Rgb>((c * alpha + b * (255 - alpha) + 127) / 255) << shift;
    }
    return result;
}

::testing::AssertionResult closeTo(Rgb got, Rgb want, int tolerance)
{
    for (int shift : {16, 8, 0})
        if (std::abs(channelOf(got, shift) - channelOf(want, shift)) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof text, "got %06X, want %06X", got, want);
            return ::testing::AssertionFailure() << text;
        }
    return ::testing::AssertionSuccess();
}

int liveGdiHandles()
{
    int live = 0;
    for (uintptr_t index = 1; index <= 0xFFFF; ++index)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
    return live;
}

FrameHarness::FrameHarness(int dpi)
    : scale_(Scale::forDpi(dpi)), width_(scale_.px(kFrameWidth)), height_(scale_.px(kFrameHeight))
{
    EXPECT_TRUE(ensureGdiplus());
    view.scale = scale_;
    view.fonts = sharedFonts(scale_);
    view.logoState = LogoState::Absent;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = createTopDownDib(dc_, width_, height_, &bits);
    bits_ = static_cast<uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
}

FrameHarness::~FrameHarness()
{
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void FrameHarness::paint(const char* name)
{
    FrameInput input(view, catalog);
    input.tasks = tasks;
    input.serverUrl = serverUrl;
    input.downloadFolder = downloadFolder;
    input.maximized = maximized;
    input.now = now;
    input.iconWindow = iconWindow;
    input.scale = scale_;
    RECT client{0, 0, width_, height_};
    paintFrame(dc_, client, input);
    GdiFlush();
    const char* folder = std::getenv("PAKVANE_SAVE_FRAMES");
    if (folder && name) saveBmp(std::string(folder) + "\\" + name + ".bmp", bits_, width_, height_);
}

Rgb FrameHarness::pixel(int x, int y) const { return bits_[y * width_ + x] & 0xFFFFFF; }

Rgb FrameHarness::probe(int x, int y) const
{
    // Unit x covers pixels [x s, (x + 1) s): its middle, rounded down.
    auto middle = [this](int unit) { return static_cast<int>((2 * unit + 1) * scale_.dpi / (2 * kBaseDpi)); };
    return pixel(middle(x), middle(y));
}

std::vector<HitZone> FrameHarness::zones(HitKind kind) const
{
    std::vector<HitZone> found;
    for (const auto& zone : view.hitZones)
        if (zone.kind == kind) found.push_back(zone);
    return found;
}

void FrameHarness::addCategory(const std::wstring& id, const std::wstring& name)
{
    catalog.categories.push_back({id, name});
}

std::shared_ptr<AppInfo> FrameHarness::addApp(int32_t id, const std::wstring& name, const std::wstring& categoryId,
                                              bool hasPackage)
{
    auto app = std::make_shared<AppInfo>();
    app->id = id;
    app->name = name;
    app->version = L"1.2";
    app->description = L"一款测试用的应用";
    app->categoryIds = {categoryId};
    app->packageSize = 5 * 1024 * 1024;
    app->updatedAt = 1700000000000LL;
    app->hasPackage = hasPackage;
    catalog.apps.push_back(app);
    return app;
}

void FrameHarness::addTask(int32_t id, TaskState::Value state, int64_t received, int64_t size, bool md5Ok, bool isArchive)
{
    TaskView task{};
    task.id = id;
    task.name = L"任务" + std::to_wstring(id);
    task.state = static_cast<decltype(task.state)>(state);
    task.received = received;
    task.size = size;
    task.speed = 1024 * 300;
    task.md5Ok = md5Ok;
    task.isArchive = isArchive;
    task.error = L"连接超时";
    tasks[id] = task;
}

void FrameHarness::hover(HitKind kind, int32_t id)
{
    view.hovering = true;
    view.hoverKind = kind;
    view.hoverId = id;
}

void fillCatalog(FrameHarness& f)
{
    f.addCategory(L"c1", L"常用软件");
    f.addCategory(L"c2", L"开发工具");
    f.addCategory(L"c3", L"影音娱乐");
    f.view.currentCategoryId = L"c2";
    f.addApp(101, L"编辑器", L"c2");
    f.addApp(102, L"播放器", L"c2");
    f.addApp(103, L"即将上架", L"c2", false);
    f.addApp(104, L"压缩工具", L"c2");
    f.addApp(105, L"别的分类", L"c1");
    f.addTask(102, TaskState::Installed);
    f.addTask(104, TaskState::Downloading, 37, 100);
}

void fillTasks(FrameHarness& f)
{
    f.addCategory(L"c", L"全部");
    f.view.currentCategoryId = L"c";
    f.addApp(1, L"编辑器", L"c");
    f.view.page = Page::Downloads;
    f.addTask(1, TaskState::Downloading, 37, 100);
    f.addTask(2, TaskState::Downloaded, 100, 100, false);  // MD5 mismatch, installer
    f.addTask(3, TaskState::Failed);
    f.addTask(4, TaskState::Installed, 100, 100);
    f.addTask(5, TaskState::Downloaded, 100, 100, true, true);  // archive
}
