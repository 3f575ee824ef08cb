// The window's journal left by an earlier run, as the next start reads it
// to offer its rows back.
#include "FuzzInput.h"
#include "record/LogJournal.h"

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString path = fuzz::writeInputFile(data, size, ".journal");
    LogJournal::Leftover leftover = LogJournal::read(path);
    (void)leftover;
    return 0;
}
