// The batch tool's command line: the bytes are the arguments, split at each zero byte.
#include "BatchTool.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList arguments;
    QByteArray argument;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments << QString::fromUtf8(argument);
            argument.clear();
        } else {
            argument.append(static_cast<char>(data[i]));
        }
    }
    if (!argument.isEmpty())
        arguments << QString::fromUtf8(argument);
    try {
        const pixmora::batch::Command command = pixmora::batch::parseCommandLine(arguments);
        // What the parser accepts is sound: the quality in range, files where the action needs them.
        if (command.quality < 1 || command.quality > 100 || command.maxPixels < 0)
            std::abort();
        if (command.action == pixmora::batch::Command::Action::Run &&
            (command.inputs.isEmpty() || (!command.outDirMode && command.output.isEmpty())))
            std::abort();
    } catch (const pixmora::batch::UsageError&) {
    }
    return 0;
}
