// BMP files through our own reader: every header, depth, mask and RLE variant.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::loadAs(data, size, "BM", 2);
    return 0;
}
