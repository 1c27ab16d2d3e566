#pragma once
// The pixel size an image file declares, read from its header without
// decoding it, so an icon that would take gigabytes once decoded is refused
// first. Platform-free: bytes in, numbers out.

#include <cstdint>
#include <string>

struct ImageSize {
    int64_t width = 0;
    int64_t height = 0;
};

// PNG, JPEG, GIF, BMP, TIFF and ICO. For a GIF the larger of the screen and its
// first image; for an ICO the largest image that lies in the file. False when
// the bytes are none of these formats, or the header is cut short or names no size.
bool readImageSize(const std::string& bytes, ImageSize& size);

// True when the declared size is known and from 1 to maxSide on each side.
bool imageSizeWithin(const std::string& bytes, int64_t maxSide);
