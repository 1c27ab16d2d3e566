#pragma once
// Reduction of a multi-image ICO file to the one image worth decoding.
// Platform-free: bytes in, bytes out.

#include <string>

// When the bytes are an ICO file with at least one usable directory entry, a new
// one-image ICO holding the best entry (largest width, then bit count; the
// earlier on a tie). Anything else, and an ICO whose best image is a PNG or DIB
// outside 1..1024 pixels on a side, comes back unchanged.
std::string reduceIco(const std::string& bytes);
