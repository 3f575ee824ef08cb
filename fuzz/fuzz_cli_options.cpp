// velkor-cli's command lines: the words of a command after its name, split
// at NUL bytes, read as log, decode and read read them.
#include "FuzzInput.h"
#include "cli/CliOptions.h"
#include "cli/LogOptions.h"

#include <cstdio>

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList words = fuzz::wordsOf(data, size);
    bool help = false;
    cli::parseLogOptions(words, &help);
    const cli::CliOptions opts(words, {QStringLiteral("--variant"), QStringLiteral("--count")},
                               {QStringLiteral("--hid")});
    QString error;
    if (opts.ok()) {
        opts.variant(&error);
    }
    return 0;
}
