// Peak memory of the batch tool against the picture's own bytes: one picture at a time on a 12-megapixel
// photo, several at once (--jobs, the peak of all its processes together), and a 100-megapixel picture
// through every effect.
// Usage: batch_memory [--big] [path to pixmora-batch]
#include "Bitmap.h"
#include "PhotoPicture.h"
#include "PictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using pixmora::Bitmap;

namespace {

// The resident bytes of a process and of every process below it.
long long treeResident(pid_t pid) {
    long long pages = 0;
    std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
    long long size = 0, resident = 0;
    if (statm >> size >> resident)
        pages = resident;
    long long bytes = pages * sysconf(_SC_PAGESIZE);
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;)
        bytes += treeResident(child);
    return bytes;
}

// Runs the command and returns its peak resident memory in bytes (-1 when it failed): the kernel's own
// figure for the process, or with `tree`, the largest sum over the process and its workers, sampled.
long long peakMemory(const std::vector<std::string>& command, bool tree) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        // The tool's progress lines would only get in the way of the table.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    long long sampled = 0;
    pid_t done = 0;
    while ((done = wait4(pid, &status, tree ? WNOHANG : 0, &usage)) == 0) {
        sampled = std::max(sampled, treeResident(pid));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (done != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return tree ? std::max(sampled, static_cast<long long>(usage.ru_maxrss) * 1024)
                : static_cast<long long>(usage.ru_maxrss) * 1024;
}

struct Run {
    std::string name;
    std::vector<std::string> options;
    QString input;
    std::string output;
};

// Runs each one; a run passes when its peak stays within limit(bytes of the picture).
bool measure(const std::string& tool, const QTemporaryDir& dir, const std::vector<Run>& runs,
             double pictureBytes, double limit, bool tree) {
    std::printf("%-58s %10s %12s %6s\n", "run", "peak MB", "limit MB", "ok");
    bool allOk = true;
    for (const Run& run : runs) {
        std::vector<std::string> command{tool};
        command.insert(command.end(), run.options.begin(), run.options.end());
        command.push_back(run.input.toStdString());
        if (!run.output.empty())
            command.push_back(dir.filePath(QString::fromStdString(run.output)).toStdString());
        const long long peak = peakMemory(command, tree);
        const bool ok = peak > 0 && peak <= limit;
        allOk &= ok;
        std::printf("%-58s %10.1f %12.1f %6s   (%.2f x the picture)\n", run.name.c_str(), peak / 1e6,
                    limit / 1e6, ok ? "yes" : "NO", peak / pictureBytes);
        std::fflush(stdout);
    }
    return allOk;
}

bool photo(const std::string& tool) {
    QTemporaryDir dir;
    const Bitmap picture = photoPicture(4000, 3000);
    const QString jpeg = dir.filePath("photo.jpg");
    const QString bmp = dir.filePath("photo.bmp");
    pixmora::savePictureJpeg(picture, jpeg, 90);
    pixmora::savePictureBmp(picture, bmp);
    const double pictureBytes = static_cast<double>(picture.byteCount());
    std::printf("picture: 4000 x 3000, %.1f MB of pixels\n\n", pictureBytes / 1e6);
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
    bool ok = measure(tool, dir, runs, pictureBytes, 5 * pictureBytes + 30e6, false);

    // Several at once: all processes together within jobs x (3 x picture + 20 MB).
    std::printf("\nsix copies, all processes together:\n");
    QStringList copies;
    for (int i = 0; i < 6; ++i) {
        copies += dir.filePath(QStringLiteral("copy%1.jpg").arg(i));
        QFile::copy(jpeg, copies.back());
    }
    for (int jobs : {1, 2, 3}) {
        std::vector<Run> many = {{"jpg -> jpg, brightness 30, --jobs " + std::to_string(jobs),
                                  {"--brightness", "30", "--jobs", std::to_string(jobs), "--out-dir",
                                   dir.filePath("many").toStdString()},
                                  copies[0],
                                  ""}};
        for (int i = 1; i < copies.size(); ++i)
            many[0].options.push_back(copies[i].toStdString());
        ok &= measure(tool, dir, many, pictureBytes, jobs * (3 * pictureBytes + 20e6), true);
    }
    return ok;
}

// 10000 x 10000: opened, every effect rendered, saved, within 4 x the picture + 60 MB.
bool big(const std::string& tool) {
    QTemporaryDir dir;
    const QString jpeg = dir.filePath("big.jpg");
    double pictureBytes = 0;
    {
        const Bitmap picture = photoPicture(10000, 10000);
        pixmora::savePictureJpeg(picture, jpeg, 90);
        pictureBytes = static_cast<double>(picture.byteCount());
    }
    std::printf("picture: 10000 x 10000, %.1f MB of pixels\n\n", pictureBytes / 1e6);
    const std::vector<std::string> tone = {
        "--brightness", "20", "--contrast",   "30",  "--lightness",  "10",
        "--darkness",   "5",  "--saturation", "40",  "--splitlight", "20",
        "--posterize",  "6",  "--solorize",   "200", "--grayscale",  "--invert"};
    std::vector<Run> runs = {{"every tone effect", tone, jpeg, "out.jpg"},
                             {"colour noise 200", {"--color-noise", "200"}, jpeg, "out.jpg"},
                             {"mono noise 200", {"--mono-noise", "200"}, jpeg, "out.jpg"}};
    const std::vector<std::vector<std::string>> area = {
        {"--emboss"},          {"--mosaic", "20"}, {"--split-blur", "50"}, {"--gaussian-blur", "50"},
        {"--antialias", "50"}, {"--trace", "2"},   {"--tile", "10"}};
    for (const auto& effect : area) {
        std::vector<std::string> options = effect;
        options.insert(options.end(), {"--color-noise", "100", "--brightness", "10"});
        std::string name;
        for (const std::string& o : options)
            name += (name.empty() ? "" : " ") + o;
        runs.push_back({name, options, jpeg, "out.jpg"});
    }
    return measure(tool, dir, runs, pictureBytes, 4 * pictureBytes + 60e6, false);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool bigPicture = false;
    std::string tool = PIXMORA_BATCH_TOOL;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--big") == 0)
            bigPicture = true;
        else
            tool = argv[i];
    }
    return (bigPicture ? big(tool) : photo(tool)) ? 0 : 1;
}
