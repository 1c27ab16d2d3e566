// Feeds arbitrary bytes to the ICO reduction and the image size reader.
// Besides the sanitizers' checks, a reduced file must be a one-image ICO whose
// image bytes come from the input.

#include "net/ico.h"
#include "net/image_size.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The size reader walks headers of every format: the sanitizers watch its reads.
    ImageSize declared;
    (void)readImageSize(input, declared);
    const std::string out = reduceIco(input);
    if (out == input) return 0;
    if (out.size() < 22 || out.compare(0, 6, std::string("\0\0\1\0\1\0", 6)) != 0) std::abort();
    const uint32_t imageSize = static_cast<unsigned char>(out[14]) | (static_cast<unsigned char>(out[15]) << 8) |
                               (static_cast<unsigned char>(out[16]) << 16) |
                               (static_cast<uint32_t>(static_cast<unsigned char>(out[17])) << 24);
    if (imageSize != out.size() - 22 || out[18] != 22 || out[19] != 0 || out[20] != 0 || out[21] != 0) std::abort();
    if (input.find(out.substr(22)) == std::string::npos) std::abort();
    return 0;
}
