// PNG files, which Qt's reader decodes.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::loadAs(data, size, "\x89PNG\r\n\x1A\n", 8);
    return 0;
}
