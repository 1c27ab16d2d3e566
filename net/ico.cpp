#include "net/ico.h"

#include <cstdint>

namespace {

constexpr uint64_t kIcoHeaderSize = 6;
constexpr uint64_t kIcoEntrySize = 16;
constexpr uint64_t kIcoMinSize = kIcoHeaderSize + kIcoEntrySize;
constexpr uint32_t kIcoMaxImages = 64;
constexpr int64_t kMaxSide = 1024;

uint32_t byteAt(const std::string& b, uint64_t at) { return static_cast<unsigned char>(b[at]); }

uint32_t le16(const std::string& b, uint64_t at) { return byteAt(b, at) | (byteAt(b, at + 1) << 8); }

uint32_t le32(const std::string& b, uint64_t at)
{
    return byteAt(b, at) | (byteAt(b, at + 1) << 8) | (byteAt(b, at + 2) << 16) | (byteAt(b, at + 3) << 24);
}

uint32_t be32(const std::string& b, uint64_t at)
{
    return (byteAt(b, at) << 24) | (byteAt(b, at + 1) << 16) | (byteAt(b, at + 2) << 8) | byteAt(b, at + 3);
}

void putLe16(std::string& out, uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void putLe32(std::string& out, uint32_t v)
{
    putLe16(out, v & 0xFFFF);
    putLe16(out, v >> 16);
}

struct IcoImage {
    uint64_t entry = 0;   // offset of the directory entry
    uint64_t offset = 0;  // offset of the image data
    uint64_t size = 0;
};

// The image's size: from its PNG or DIB header when it has one (true), else
// from the directory (false).
bool sizeFromImageData(const std::string& b, const IcoImage& image, int64_t& width, int64_t& height)
{
    width = byteAt(b, image.entry) == 0 ? 256 : byteAt(b, image.entry);
    height = byteAt(b, image.entry + 1) == 0 ? 256 : byteAt(b, image.entry + 1);
    const uint64_t d = image.offset;
    if (image.size >= 24 && byteAt(b, d) == 0x89 && b.compare(d + 1, 3, "PNG") == 0) {
        width = be32(b, d + 16);
        height = be32(b, d + 20);
        return true;
    }
    if (image.size >= 12 && le32(b, d) >= 40) {
        // BITMAPINFOHEADER's width and height are signed; the height counts the
        // colour image and its AND mask.
        const int32_t dibWidth = static_cast<int32_t>(le32(b, d + 4));
        const int32_t dibHeight = static_cast<int32_t>(le32(b, d + 8));
        if (dibWidth >= 1 && dibHeight >= 2) {
            width = dibWidth;
            height = dibHeight / 2;
            return true;
        }
    }
    return false;
}

// The image's real size. False when its PNG or DIB header names a size the
// reduced file cannot describe.
bool realImageSize(const std::string& b, const IcoImage& image, int64_t& width, int64_t& height)
{
    if (!sizeFromImageData(b, image, width, height)) return true;
    return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

// The image count of an ICO file, or 0 when the bytes are not one.
uint32_t icoImageCount(const std::string& bytes)
{
    if (bytes.size() < kIcoMinSize) return 0;
    const uint32_t count = le16(bytes, 4);
    if (le16(bytes, 0) != 0 || le16(bytes, 2) != 1 || count < 1 || count > kIcoMaxImages) return 0;
    return count;
}

// Calls visit(image) for each usable directory entry, in order: those lying
// wholly inside the body.
template <typename Visit>
void forEachUsableImage(const std::string& b, uint32_t count, Visit visit)
{
    const uint64_t length = b.size();
    const uint64_t lastInside = (length - kIcoMinSize) / kIcoEntrySize;
    const uint64_t last = count - 1 < lastInside ? count - 1 : lastInside;
    for (uint64_t i = 0; i <= last; ++i) {
        const uint64_t entry = kIcoHeaderSize + i * kIcoEntrySize;
        const uint64_t size = le32(b, entry + 8);
        const uint64_t offset = le32(b, entry + 12);
        if (offset >= length || length - offset < size) continue;
        visit(IcoImage{entry, offset, size});
    }
}

// The best usable entry; false when none is usable.
bool pickBestImage(const std::string& b, uint32_t count, IcoImage& best)
{
    bool found = false;
    uint64_t bestScore = 0;
    forEachUsableImage(b, count, [&](const IcoImage& image) {
        const uint64_t width = byteAt(b, image.entry) == 0 ? 256 : byteAt(b, image.entry);
        const uint64_t score = width * 4096 + le16(b, image.entry + 6);
        if (!found || score > bestScore) {
            found = true;
            bestScore = score;
            best = image;
        }
    });
    return found;
}

}  // namespace

std::string reduceIco(const std::string& bytes)
{
    const uint32_t count = icoImageCount(bytes);
    if (count == 0) return bytes;

    IcoImage best;
    if (!pickBestImage(bytes, count, best)) return bytes;
    int64_t width = 0;
    int64_t height = 0;
    if (!realImageSize(bytes, best, width, height)) return bytes;

    std::string out;
    out.reserve(kIcoMinSize + best.size);
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, 1);
    out.append(bytes, best.entry, 8);
    out[kIcoHeaderSize] = static_cast<char>(width >= 256 ? 0 : width);
    out[kIcoHeaderSize + 1] = static_cast<char>(height > 255 ? 0 : height);
    putLe32(out, static_cast<uint32_t>(best.size));
    putLe32(out, static_cast<uint32_t>(kIcoMinSize));
    out.append(bytes, best.offset, best.size);
    return out;
}

bool largestIcoImage(const std::string& bytes, int64_t& width, int64_t& height)
{
    const uint32_t count = icoImageCount(bytes);
    if (count == 0) return false;
    bool found = false;
    width = 0;
    height = 0;
    forEachUsableImage(bytes, count, [&](const IcoImage& image) {
        int64_t w = 0;
        int64_t h = 0;
        if (!sizeFromImageData(bytes, image, w, h) && image.size >= 12 && le32(bytes, image.offset) == 12) {
            // A BITMAPCOREHEADER: 16-bit width and height (image and mask).
            w = le16(bytes, image.offset + 4);
            h = le16(bytes, image.offset + 6) / 2;
        }
        found = true;
        if (w > width) width = w;
        if (h > height) height = h;
    });
    return found;
}
