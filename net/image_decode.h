#pragma once
// Decoding of image bytes (PNG, JPEG, GIF, BMP, ICO: whatever GDI+ reads) into
// a GDI bitmap.

#include <windows.h>

#include <string>

// Starts GDI+ once for the process; later calls only report the first result.
// GDI+ is never shut down: nothing is torn down at exit. Any thread.
bool ensureGdiplus();

enum class DecodeResult { Decoded, NoMemory, Failed };

// Decodes from a stream over a movable global copy of the bytes. Transparent
// parts are laid on opaque white. On Decoded, bitmap receives a new HBITMAP
// the caller owns. NoMemory: the global copy could not be made. GDI+ must have
// been started with ensureGdiplus.
DecodeResult decodeImage(const std::string& bytes, HBITMAP& bitmap);

// As decodeImage, but the picture is scaled with high-quality bicubic
// interpolation to side x side pixels (stretched, as it is drawn) on opaque
// white, so the bitmap is no bigger than where it is shown.
DecodeResult decodeImageAtSize(const std::string& bytes, int side, HBITMAP& bitmap);
