#pragma once

// pixmora-batch: the effects of one picture component applied to picture files from the command line.

#include "OrImageEngine.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace pixmora::batch {

// One write of an effect property, as it stood on the command line. Switches write true.
struct EffectWrite {
    QString option; // without the leading dashes, e.g. "split-blur"
    int value = 0;
    friend bool operator==(const EffectWrite&, const EffectWrite&) = default;
};

struct Command {
    enum class Action { Run, Help, Version };
    Action action = Action::Run;
    std::vector<EffectWrite> writes; // in command-line order
    int quality = 80;
    long long maxPixels = 0; // --max-megapixels; 0: as the machine's memory allows
    int jobs = 0;            // --jobs: pictures worked on at once; 0: one per core
    bool outDirMode = false;
    QString outDir;
    QString format; // with --out-dir: "bmp", "jpg", "png", or empty for the input's own format
    QStringList inputs;
    QString output; // without --out-dir
};

// A command line that cannot be carried out; nothing has been read or written.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The arguments after the program name. Throws UsageError.
Command parseCommandLine(const QStringList& arguments);

// Writes one effect value through its property's setter.
void applyWrite(OrImageEngine& engine, const EffectWrite& write);

QString usageText();
QString versionText();

// Exit codes.
constexpr int ExitOk = 0;
constexpr int ExitFileFailed = 1;
constexpr int ExitUsage = 2;

// Carries out a parsed Run command: progress and failures go to `messages`. Returns the exit code.
int runCommand(const Command& command, std::FILE* messages);

// The whole program, from the arguments after its name.
int runTool(const QStringList& arguments, std::FILE* out, std::FILE* messages);

} // namespace pixmora::batch
