#pragma once

#include "disk/LogFileResult.h"

#include <QString>
#include <memory>

struct zip;
struct zip_file;

namespace velkor {

// A zip archive from outside, read through libzip. Entries are read as
// streams with a cap on the bytes they expand to: an entry that claims more,
// or turns out to hold more, is refused, so a zip bomb costs neither memory
// nor much time.
class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    LogFileResult open(const QString& fileName);

    // Whether the archive holds an entry of that name (case ignored).
    bool contains(const QString& entryName) const;

    // One entry read as a stream.
    class Entry {
    public:
        ~Entry();
        // Up to `max` bytes: the count, 0 at the end, -1 on an error
        // (error() says which).
        qint64 read(char* buffer, qint64 max);
        const QString& error() const { return error_; }

    private:
        friend class ZipArchive;
        zip_file* file_ = nullptr;
        qint64 claimed_ = 0;
        qint64 read_ = 0;
        QString name_;
        QString error_;
    };

    // Opens an entry that expands to at most `maxBytes`.
    std::unique_ptr<Entry> openEntry(const QString& entryName, qint64 maxBytes,
                                     QString* error) const;

private:
    zip* archive_ = nullptr;
};

} // namespace velkor
