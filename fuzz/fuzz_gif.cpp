// GIF files: our check of the first frame, then Qt's reader.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const bool old = size >= 6 && std::memcmp(data, "GIF87a", 6) == 0;
    fuzz::loadAs(data, size, old ? "GIF87a" : "GIF89a", 6);
    return 0;
}
