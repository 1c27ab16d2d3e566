#include "download/archive.h"

#include <cstring>

namespace {

struct Signature {
    unsigned char bytes[6];
    size_t length;
    const char* extension;
};

// A prefix shorter than the whole signature proves nothing, so each kind needs
// all of its bytes.
const Signature kSignatures[] = {
    {{0x50, 0x4B, 0x03, 0x04}, 4, "zip"},
    {{0x52, 0x61, 0x72, 0x21, 0x1A, 0x07}, 6, "rar"},
    {{0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}, 6, "7z"},
};

const unsigned char kCompoundFile[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

}  // namespace

const char* archiveExtension(const unsigned char* bytes, size_t count)
{
    if (bytes == nullptr) return nullptr;
    for (const Signature& s : kSignatures) {
        if (count >= s.length && std::memcmp(bytes, s.bytes, s.length) == 0) return s.extension;
    }
    return nullptr;
}

const char* installerPackageExtension(const unsigned char* bytes, size_t count)
{
    if (bytes == nullptr || count < sizeof kCompoundFile) return nullptr;
    return std::memcmp(bytes, kCompoundFile, sizeof kCompoundFile) == 0 ? "msi" : nullptr;
}
