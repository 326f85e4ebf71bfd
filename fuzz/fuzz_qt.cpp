// Anything at all, as the program opens a file: told apart by content, and whatever our own readers do
// not know goes to Qt's (ICO, PPM, XPM, XBM ...).
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::loadAs(data, size, "", 0);
    return 0;
}
