// Writes the benchmarks' photo-like picture as a JPEG, for the comparisons of whole commands.
// Usage: make_photo FILE [WIDTH HEIGHT [QUALITY]]   (default 4000 x 3000, quality 90)
#include "PhotoPicture.h"
#include "PictureFile.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: make_photo FILE [WIDTH HEIGHT [QUALITY]]\n");
        return 2;
    }
    const int width = argc > 2 ? std::atoi(argv[2]) : 4000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 3000;
    const int quality = argc > 4 ? std::atoi(argv[4]) : 90;
    try {
        pixmora::savePictureJpeg(photoPicture(width, height), QString::fromLocal8Bit(argv[1]), quality);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_photo: %s\n", e.what());
        return 1;
    }
    return 0;
}
