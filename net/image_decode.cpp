#include "net/image_decode.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace gdip = Gdiplus::DllExports;

namespace {

constexpr Gdiplus::ARGB kOpaqueWhite = 0xFFFFFFFF;

struct GlobalFreer {
    void operator()(HGLOBAL memory) const { GlobalFree(memory); }
};
struct StreamReleaser {
    void operator()(IStream* stream) const { stream->Release(); }
};
struct GdipImageDisposer {
    void operator()(Gdiplus::GpImage* image) const { gdip::GdipDisposeImage(image); }
};

using UniqueGlobal = std::unique_ptr<void, GlobalFreer>;
using UniqueStream = std::unique_ptr<IStream, StreamReleaser>;
using UniqueGdipImage = std::unique_ptr<Gdiplus::GpImage, GdipImageDisposer>;

// A movable global block holding the bytes; null when it cannot be had.
HGLOBAL globalCopy(const std::string& bytes)
{
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    if (!memory) return nullptr;
    void* target = GlobalLock(memory.get());
    if (!target) return nullptr;
    std::memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(memory.get());
    return memory.release();
}

}  // namespace

bool ensureGdiplus()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return started;
}

DecodeResult decodeImage(const std::string& bytes, HBITMAP& bitmap)
{
    UniqueGlobal memory(globalCopy(bytes));
    if (!memory) return DecodeResult::NoMemory;
    IStream* rawStream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory.get(), TRUE, &rawStream)) || !rawStream) return DecodeResult::Failed;
    // From here the stream frees the memory when it is released.
    memory.release();
    UniqueStream stream(rawStream);

    Gdiplus::GpBitmap* rawBitmap = nullptr;
    if (gdip::GdipCreateBitmapFromStream(stream.get(), &rawBitmap) != Gdiplus::Ok || !rawBitmap)
        return DecodeResult::Failed;
    // Disposed before the stream is released: the image may read from it until then.
    UniqueGdipImage image(rawBitmap);
    HBITMAP result = nullptr;
    if (gdip::GdipCreateHBITMAPFromBitmap(rawBitmap, &result, kOpaqueWhite) != Gdiplus::Ok || !result)
        return DecodeResult::Failed;
    bitmap = result;
    return DecodeResult::Decoded;
}
