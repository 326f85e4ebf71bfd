// JPEG files, EXIF orientation included, through libjpeg and our own EXIF reader.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::loadAs(data, size, "\xFF\xD8\xFF", 3);
    return 0;
}
