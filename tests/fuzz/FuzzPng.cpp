// PNG images of skins: the toolkit's decoder on any bytes.
#include "toolkit/CBitmap.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    treskpro::toolkit::CBitmap bitmap;
    if (bitmap.decodePng(data, size))
        (void)bitmap.encodePng();
    return 0;
}
