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
struct GdipGraphicsDeleter {
    void operator()(Gdiplus::GpGraphics* graphics) const { gdip::GdipDeleteGraphics(graphics); }
};
struct GdipAttributesDisposer {
    void operator()(Gdiplus::GpImageAttributes* attributes) const { gdip::GdipDisposeImageAttributes(attributes); }
};

using UniqueGlobal = std::unique_ptr<void, GlobalFreer>;
using UniqueStream = std::unique_ptr<IStream, StreamReleaser>;
using UniqueGdipImage = std::unique_ptr<Gdiplus::GpImage, GdipImageDisposer>;
using UniqueGdipGraphics = std::unique_ptr<Gdiplus::GpGraphics, GdipGraphicsDeleter>;
using UniqueGdipAttributes = std::unique_ptr<Gdiplus::GpImageAttributes, GdipAttributesDisposer>;

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

// A side x side copy of image laid on opaque white; null when GDI+ fails.
Gdiplus::GpBitmap* scaledCopy(Gdiplus::GpImage* image, int side)
{
    UINT width = 0, height = 0;
    if (gdip::GdipGetImageWidth(image, &width) != Gdiplus::Ok || gdip::GdipGetImageHeight(image, &height) != Gdiplus::Ok ||
        width == 0 || height == 0)
        return nullptr;
    Gdiplus::GpBitmap* rawTarget = nullptr;
    if (gdip::GdipCreateBitmapFromScan0(side, side, 0, PixelFormat32bppARGB, nullptr, &rawTarget) != Gdiplus::Ok ||
        !rawTarget)
        return nullptr;
    UniqueGdipImage target(rawTarget);
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    if (gdip::GdipGetImageGraphicsContext(rawTarget, &rawGraphics) != Gdiplus::Ok || !rawGraphics) return nullptr;
    UniqueGdipGraphics graphics(rawGraphics);
    Gdiplus::GpImageAttributes* rawAttributes = nullptr;
    if (gdip::GdipCreateImageAttributes(&rawAttributes) != Gdiplus::Ok || !rawAttributes) return nullptr;
    UniqueGdipAttributes attributes(rawAttributes);
    // Mirrored edges: without them bicubic sampling blends the border with
    // nothing and every icon gets a pale rim.
    gdip::GdipSetImageAttributesWrapMode(rawAttributes, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
    gdip::GdipGraphicsClear(rawGraphics, kOpaqueWhite);
    gdip::GdipSetInterpolationMode(rawGraphics, Gdiplus::InterpolationModeHighQualityBicubic);
    gdip::GdipSetPixelOffsetMode(rawGraphics, Gdiplus::PixelOffsetModeHalf);
    if (gdip::GdipDrawImageRectRectI(rawGraphics, image, 0, 0, side, side, 0, 0, static_cast<INT>(width),
                                     static_cast<INT>(height), Gdiplus::UnitPixel, rawAttributes, nullptr,
                                     nullptr) != Gdiplus::Ok)
        return nullptr;
    graphics.reset();
    return static_cast<Gdiplus::GpBitmap*>(target.release());
}

// side 0: the picture at its own size.
DecodeResult decode(const std::string& bytes, int side, HBITMAP& bitmap)
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
    UniqueGdipImage scaled;
    Gdiplus::GpBitmap* source = rawBitmap;
    if (side > 0) {
        scaled.reset(scaledCopy(rawBitmap, side));
        if (!scaled) return DecodeResult::Failed;
        source = static_cast<Gdiplus::GpBitmap*>(scaled.get());
    }
    HBITMAP result = nullptr;
    if (gdip::GdipCreateHBITMAPFromBitmap(source, &result, kOpaqueWhite) != Gdiplus::Ok || !result)
        return DecodeResult::Failed;
    bitmap = result;
    return DecodeResult::Decoded;
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

DecodeResult decodeImage(const std::string& bytes, HBITMAP& bitmap) { return decode(bytes, 0, bitmap); }

DecodeResult decodeImageAtSize(const std::string& bytes, int side, HBITMAP& bitmap)
{
    if (side <= 0) return DecodeResult::Failed;
    return decode(bytes, side, bitmap);
}
