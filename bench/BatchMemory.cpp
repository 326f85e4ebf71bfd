// Peak memory of the batch tool on a 12-megapixel picture, against the picture's own bytes.
// Usage: batch_memory [path to pixmora-batch]
#include "Bitmap.h"
#include "PhotoPicture.h"
#include "PictureFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using pixmora::Bitmap;

namespace {

// Runs the command and returns its peak resident memory in bytes, or -1.
long long peakMemory(const std::vector<std::string>& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string tool = argc > 1 ? argv[1] : PIXMORA_BATCH_TOOL;
    QTemporaryDir dir;
    const Bitmap picture = photoPicture(4000, 3000);
    const QString jpeg = dir.filePath("photo.jpg");
    const QString bmp = dir.filePath("photo.bmp");
    pixmora::savePictureJpeg(picture, jpeg, 90);
    pixmora::savePictureBmp(picture, bmp);
    const double pictureBytes = static_cast<double>(picture.byteCount());
    std::printf("picture: 4000 x 3000, %.1f MB of pixels\n\n", pictureBytes / 1e6);
    std::printf("%-58s %10s %12s %8s\n", "run", "peak MB", "limit MB", "ok");
    struct Run {
        const char* name;
        std::vector<std::string> options;
        QString input;
        const char* output;
    };
    const std::vector<Run> runs = {
        {"jpg -> jpg, no effect", {}, jpeg, "out.jpg"},
        {"jpg -> jpg, brightness", {"--brightness", "30"}, jpeg, "out.jpg"},
        {"jpg -> png, gaussian blur 5 + colour noise 200",
         {"--gaussian-blur", "5", "--color-noise", "200"},
         jpeg,
         "out.png"},
        {"bmp -> bmp, tile 10 + mono noise 100 + grey",
         {"--tile", "10", "--mono-noise", "100", "--grayscale"},
         bmp,
         "out.bmp"},
        {"jpg -> bmp, trace 2 + posterize 8", {"--trace", "2", "--posterize", "8"}, jpeg, "out.bmp"},
    };
    bool allOk = true;
    for (const Run& run : runs) {
        std::vector<std::string> command{tool};
        command.insert(command.end(), run.options.begin(), run.options.end());
        command.push_back(run.input.toStdString());
        command.push_back(dir.filePath(run.output).toStdString());
        const long long peak = peakMemory(command);
        const double limit = 5 * pictureBytes + 30e6;
        const bool ok = peak > 0 && peak <= limit;
        allOk &= ok;
        std::printf("%-58s %10.1f %12.1f %8s   (%.2f x the picture)\n", run.name, peak / 1e6, limit / 1e6,
                    ok ? "yes" : "NO", peak / pictureBytes);
    }
    return allOk ? 0 : 1;
}
