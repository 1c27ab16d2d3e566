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

// The best usable entry; false when none is usable.
bool pickBestImage(const std::string& b, uint32_t count, IcoImage& best)
{
    const uint64_t length = b.size();
    const uint64_t lastInside = (length - kIcoMinSize) / kIcoEntrySize;
    const uint64_t last = count - 1 < lastInside ? count - 1 : lastInside;
    bool found = false;
    uint64_t bestScore = 0;
    for (uint64_t i = 0; i <= last; ++i) {
        const uint64_t entry = kIcoHeaderSize + i * kIcoEntrySize;
        const uint64_t size = le32(b, entry + 8);
        const uint64_t offset = le32(b, entry + 12);
        if (offset >= length || length - offset < size) continue;
        const uint64_t width = byteAt(b, entry) == 0 ? 256 : byteAt(b, entry);
        const uint64_t score = width * 4096 + le16(b, entry + 6);
        if (!found || score > bestScore) {
            found = true;
            bestScore = score;
            best = {entry, offset, size};
        }
    }
    return found;
}

// The image's real size, from its PNG or DIB header when it has one. False when
// such a header names a size the reduced file cannot describe.
bool realImageSize(const std::string& b, const IcoImage& image, int64_t& width, int64_t& height)
{
    width = byteAt(b, image.entry) == 0 ? 256 : byteAt(b, image.entry);
    height = byteAt(b, image.entry + 1) == 0 ? 256 : byteAt(b, image.entry + 1);
    const uint64_t d = image.offset;
    bool fromData = false;
    if (image.size >= 24 && byteAt(b, d) == 0x89 && b.compare(d + 1, 3, "PNG") == 0) {
        width = be32(b, d + 16);
        height = be32(b, d + 20);
        fromData = true;
    } else if (image.size >= 12 && le32(b, d) >= 40) {
        // BITMAPINFOHEADER's width and height are signed; the height counts the
        // colour image and its AND mask.
        const int32_t dibWidth = static_cast<int32_t>(le32(b, d + 4));
        const int32_t dibHeight = static_cast<int32_t>(le32(b, d + 8));
        if (dibWidth >= 1 && dibHeight >= 2) {
            width = dibWidth;
            height = dibHeight / 2;
            fromData = true;
        }
    }
    if (!fromData) return true;
    return width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide;
}

}  // namespace

std::string reduceIco(const std::string& bytes)
{
    if (bytes.size() < kIcoMinSize) return bytes;
    const uint32_t count = le16(bytes, 4);
    if (le16(bytes, 0) != 0 || le16(bytes, 2) != 1 || count < 1 || count > kIcoMaxImages) return bytes;

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
