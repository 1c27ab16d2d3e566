#include "net/image_size.h"

#include <algorithm>

#include "net/ico.h"

namespace {

// Reads integers at byte offsets; false when the bytes end before.
class ByteReader {
public:
    explicit ByteReader(const std::string& bytes) : b_(bytes) {}

    bool has(uint64_t at, uint64_t count) const { return at <= b_.size() && b_.size() - at >= count; }
    uint32_t byte(uint64_t at) const { return static_cast<unsigned char>(b_[at]); }
    bool le16(uint64_t at, uint32_t& v) const { return read(at, 2, false, v); }
    bool le32(uint64_t at, uint32_t& v) const { return read(at, 4, false, v); }
    bool be16(uint64_t at, uint32_t& v) const { return read(at, 2, true, v); }
    bool be32(uint64_t at, uint32_t& v) const { return read(at, 4, true, v); }
    bool startsWith(const char* magic, uint64_t length) const { return has(0, length) && b_.compare(0, length, magic, length) == 0; }

private:
    bool read(uint64_t at, int count, bool bigEndian, uint32_t& v) const
    {
        if (!has(at, static_cast<uint64_t>(count))) return false;
        v = 0;
        for (int i = 0; i < count; ++i) {
            const int from = bigEndian ? i : count - 1 - i;
            v = (v << 8) | byte(at + static_cast<uint64_t>(from));
        }
        return true;
    }

    const std::string& b_;
};

bool set(ImageSize& size, int64_t width, int64_t height)
{
    size.width = width;
    size.height = height;
    return true;
}

// Signature, then the IHDR chunk's width and height.
bool pngSize(const ByteReader& r, ImageSize& size)
{
    uint32_t width = 0, height = 0;
    if (!r.has(12, 4) || r.byte(12) != 'I' || r.byte(13) != 'H' || r.byte(14) != 'D' || r.byte(15) != 'R') return false;
    return r.be32(16, width) && r.be32(20, height) && set(size, width, height);
}

// The first start-of-frame segment, walking the segments by their lengths (an
// embedded thumbnail sits inside a segment and is skipped with it).
bool jpegSize(const ByteReader& r, ImageSize& size)
{
    uint64_t at = 2;
    for (;;) {
        if (!r.has(at, 2) || r.byte(at) != 0xFF) return false;
        while (r.has(at + 1, 1) && r.byte(at + 1) == 0xFF) ++at;  // fill bytes
        if (!r.has(at + 1, 1)) return false;
        const uint32_t marker = r.byte(at + 1);
        at += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA) return false;  // image data before any frame
        uint32_t length = 0;
        if (!r.be16(at, length) || length < 2) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            uint32_t height = 0, width = 0;
            return r.be16(at + 3, height) && r.be16(at + 5, width) && set(size, width, height);
        }
        at += length;
    }
}

// The logical screen, and the first image, which may be larger.
bool gifSize(const ByteReader& r, ImageSize& size)
{
    uint32_t width = 0, height = 0, flags = 0;
    if (!r.le16(6, width) || !r.le16(8, height) || !r.has(10, 1)) return false;
    flags = r.byte(10);
    uint64_t at = 13;
    if (flags & 0x80) at += 3ull << ((flags & 7) + 1);  // global colour table
    for (;;) {
        if (!r.has(at, 1)) return false;
        const uint32_t block = r.byte(at);
        if (block == 0x2C) {
            uint32_t imageWidth = 0, imageHeight = 0;
            if (!r.le16(at + 5, imageWidth) || !r.le16(at + 7, imageHeight)) return false;
            return set(size, std::max(width, imageWidth), std::max(height, imageHeight));
        }
        if (block != 0x21 || !r.has(at + 1, 1)) return false;  // an extension, else the end
        at += 2;
        for (;;) {  // its sub-blocks, up to an empty one
            if (!r.has(at, 1)) return false;
            const uint32_t length = r.byte(at);
            at += 1 + length;
            if (length == 0) break;
        }
    }
}

// The DIB header after the file header: BITMAPCOREHEADER (16-bit sizes) or a
// later one (signed 32-bit; a negative height is a top-down picture).
bool bmpSize(const ByteReader& r, ImageSize& size)
{
    uint32_t header = 0, width = 0, height = 0;
    if (!r.le32(14, header)) return false;
    if (header == 12) return r.le16(18, width) && r.le16(20, height) && set(size, width, height);
    if (header < 40 || !r.le32(18, width) || !r.le32(22, height)) return false;
    const int64_t signedHeight = static_cast<int32_t>(height);
    return set(size, static_cast<int32_t>(width), signedHeight < 0 ? -signedHeight : signedHeight);
}

// ImageWidth (256) and ImageLength (257) of the first directory.
bool tiffSize(const ByteReader& r, bool bigEndian, ImageSize& size)
{
    auto read16 = [&](uint64_t at, uint32_t& v) { return bigEndian ? r.be16(at, v) : r.le16(at, v); };
    auto read32 = [&](uint64_t at, uint32_t& v) { return bigEndian ? r.be32(at, v) : r.le32(at, v); };
    uint32_t directory = 0, entries = 0;
    if (!read32(4, directory) || !read16(directory, entries)) return false;
    int64_t width = -1, height = -1;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint64_t entry = directory + 2ull + 12ull * i;
        uint32_t tag = 0, type = 0, value = 0;
        if (!read16(entry, tag) || !read16(entry + 2, type)) return false;
        if (tag != 256 && tag != 257) continue;
        if (type == 3) {
            if (!read16(entry + 8, value)) return false;
        } else if (type == 4) {
            if (!read32(entry + 8, value)) return false;
        } else {
            return false;
        }
        (tag == 256 ? width : height) = value;
    }
    return width >= 0 && height >= 0 && set(size, width, height);
}

}  // namespace

bool readImageSize(const std::string& bytes, ImageSize& size)
{
    const ByteReader r(bytes);
    if (r.startsWith("\x89PNG\r\n\x1a\n", 8)) return pngSize(r, size);
    if (r.startsWith("\xFF\xD8", 2)) return jpegSize(r, size);
    if (r.startsWith("GIF87a", 6) || r.startsWith("GIF89a", 6)) return gifSize(r, size);
    if (r.startsWith("BM", 2)) return bmpSize(r, size);
    if (r.startsWith("II*\0", 4)) return tiffSize(r, false, size);
    if (r.startsWith("MM\0*", 4)) return tiffSize(r, true, size);
    int64_t width = 0, height = 0;
    return largestIcoImage(bytes, width, height) && set(size, width, height);
}

bool imageSizeWithin(const std::string& bytes, int64_t maxSide)
{
    ImageSize size;
    return readImageSize(bytes, size) && size.width >= 1 && size.height >= 1 && size.width <= maxSide &&
           size.height <= maxSide;
}
