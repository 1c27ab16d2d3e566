// The size an image declares, read from its header before any decoding, and
// the icon limit built on it. Platform-free.

#include "net/image_size.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

std::string le16(uint32_t v) { return bytes({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string be16(uint32_t v) { return bytes({int(v >> 8 & 0xFF), int(v & 0xFF)}); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

std::string png(uint32_t width, uint32_t height)
{
    return "\x89PNG\r\n\x1a\n" + be32(13) + "IHDR" + be32(width) + be32(height) + bytes({8, 6, 0, 0, 0});
}

// SOI, an APP1 segment holding a thumbnail's frame header, then the frame itself.
std::string jpeg(uint32_t width, uint32_t height, int frameMarker = 0xC0)
{
    const std::string thumbnailFrame = bytes({0xFF, 0xC0}) + be16(17) + bytes({8}) + be16(20000) + be16(20000);
    return bytes({0xFF, 0xD8, 0xFF, 0xE1}) + be16(2 + thumbnailFrame.size()) + thumbnailFrame +
           bytes({0xFF, 0xFF, frameMarker}) + be16(17) + bytes({8}) + be16(height) + be16(width) + bytes({3});
}

// A screen with a 4-colour table, a graphic control extension, then the first image.
std::string gif(uint32_t screen, uint32_t image)
{
    return "GIF89a" + le16(screen) + le16(screen) + bytes({0x81, 0, 0}) + std::string(12, '\0') +
           bytes({0x21, 0xF9, 4, 0, 0, 0, 0, 0}) + bytes({0x2C}) + le16(0) + le16(0) + le16(image) + le16(image);
}

std::string bmp(uint32_t header, int32_t width, int32_t height)
{
    const std::string sizes = header == 12 ? le16(width) + le16(height) : le32(width) + le32(height);
    return "BM" + le32(0) + le32(0) + le32(54) + le32(header) + sizes + std::string(16, '\0');
}

std::string tiff(bool bigEndian, uint32_t width, uint32_t height)
{
    auto u16 = [&](uint32_t v) { return bigEndian ? be16(v) : le16(v); };
    auto u32 = [&](uint32_t v) { return bigEndian ? be32(v) : le32(v); };
    return (bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4)) + u32(8) + u16(2) + u16(256) + u16(3) +
           u32(1) + u16(width) + u16(0) + u16(257) + u16(4) + u32(1) + u32(height);
}

// An ICO whose entries hold these images, in order.
std::string ico(const std::vector<std::string>& images)
{
    std::string directory = le16(0) + le16(1) + le16(static_cast<uint32_t>(images.size()));
    std::string data;
    uint32_t at = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const std::string& image : images) {
        directory += bytes({16, 16, 0, 0}) + le16(1) + le16(32) + le32(static_cast<uint32_t>(image.size())) + le32(at);
        at += static_cast<uint32_t>(image.size());
        data += image;
    }
    return directory + data;
}

std::string dib(int32_t width, int32_t heightWithMask) { return le32(40) + le32(width) + le32(heightWithMask) + std::string(28, '\0'); }

}  // namespace

TEST(ImageSize, ReadsEachFormatsHeader)
{
    const struct {
        const char* name;
        std::string image;
        int64_t width;
        int64_t height;
    } cases[] = {
        {"png", png(300, 200), 300, 200},
        {"jpeg baseline, thumbnail frame skipped", jpeg(640, 480), 640, 480},
        {"jpeg progressive", jpeg(16, 9, 0xC2), 16, 9},
        {"gif screen larger", gif(40, 20), 40, 40},
        {"gif first image larger", gif(20, 3000), 3000, 3000},
        {"bmp bottom-up", bmp(40, 12, 7), 12, 7},
        {"bmp top-down", bmp(124, 12, -7), 12, 7},
        {"bmp core header", bmp(12, 65535, 3), 65535, 3},
        {"tiff little-endian", tiff(false, 48, 70000), 48, 70000},
        {"tiff big-endian", tiff(true, 48, 32), 48, 32},
        {"ico: the largest of its images", ico({dib(16, 32), png(64, 2048), dib(900, 20)}), 900, 2048},
    };
    for (const auto& c : cases) {
        ImageSize size;
        ASSERT_TRUE(readImageSize(c.image, size)) << c.name;
        EXPECT_EQ(size.width, c.width) << c.name;
        EXPECT_EQ(size.height, c.height) << c.name;
    }
}

TEST(ImageSize, UnknownOrCutShortHeadersHaveNoSize)
{
    const std::string cases[] = {
        "",
        "plain text",
        std::string("\x89PNG not really an image at all", 31),
        png(16, 16).substr(0, 23),
        jpeg(16, 16).substr(0, jpeg(16, 16).size() - 3),
        bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 2}),  // image data before any frame
        gif(16, 16).substr(0, 30),
        "GIF89a" + le16(1) + le16(1) + bytes({0, 0, 0, 0x3B}),  // no image at all
        bmp(40, 1, 1).substr(0, 20),
        tiff(false, 1, 1).substr(0, 20),
        ico({}),
    };
    for (const auto& image : cases) {
        ImageSize size;
        EXPECT_FALSE(readImageSize(image, size)) << image.size() << " bytes";
    }
}

TEST(ImageSize, IconLimitIsOneToMaxOnEachSide)
{
    EXPECT_TRUE(imageSizeWithin(png(1024, 1024), 1024));
    EXPECT_TRUE(imageSizeWithin(png(1, 1), 1024));
    EXPECT_FALSE(imageSizeWithin(png(1025, 1024), 1024));
    EXPECT_FALSE(imageSizeWithin(png(1024, 1025), 1024));
    EXPECT_FALSE(imageSizeWithin(png(20000, 20000), 1024));
    EXPECT_FALSE(imageSizeWithin(png(0, 16), 1024));
    EXPECT_FALSE(imageSizeWithin(jpeg(16, 0), 1024)) << "a height given later is no size";
    EXPECT_FALSE(imageSizeWithin(bmp(40, -16, 16), 1024));
    EXPECT_FALSE(imageSizeWithin("not an image", 1024));
}
