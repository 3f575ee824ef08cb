#include "disk/AtomicFile.h"

#include "disk/DescriptorOutput.h"
#include "disk/FileSaver.h"
#include "platform/posix/SystemErrorText.h"

namespace velkor {

LogFileResult writeFileAtomically(const QString& fileName,
                                  const std::function<LogFileResult(QIODevice&)>& write,
                                  FileSystem& fs) {
    FileSaver saver(fileName, fs);
    if (LogFileResult r = saver.open(); !r) {
        return r;
    }
    DescriptorOutput out(fs, saver.handle());
    out.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const LogFileResult r = write(out);
    if (r) {
        out.drain();
    }
    if (out.failure() != 0) {
        return LogFileResult::failure(systemErrorText(out.failure()));
    }
    if (!r) {
        return r;
    }
    out.close();
    return saver.commit();
}

} // namespace velkor
