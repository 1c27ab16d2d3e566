#pragma once
// Reduction of a multi-image ICO file to the one image worth decoding.
// Platform-free: bytes in, bytes out.

#include <cstdint>
#include <string>

// When the bytes are an ICO file with at least one usable directory entry, a new
// one-image ICO holding the best entry (largest width, then bit count; the
// earlier on a tie). Anything else, and an ICO whose best image is a PNG or DIB
// outside 1..1024 pixels on a side, comes back unchanged.
std::string reduceIco(const std::string& bytes);

// The largest width and the largest height among the images of an ICO file
// that lie wholly inside it (from each image's PNG or DIB header, else its
// directory entry). False when the bytes are not an ICO file or no image lies inside.
bool largestIcoImage(const std::string& bytes, int64_t& width, int64_t& height);
