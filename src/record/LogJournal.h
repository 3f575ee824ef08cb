#pragma once

#include "record/JournalFile.h"
#include "record/LogRowBuffer.h"
#include "record/RowDates.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

namespace velkor {

// A journal an earlier run left behind, read and checked, and held locked
// while it is in hand.
struct LogJournalLeftover {
    QString path;
    bool inUse = false; // a running window holds it
    bool damaged = false;
    QString reason;                 // why it is damaged
    LogRowBuffer rows;              // the rows it holds, when it is sound
    RowDates dates;                 // their days (row 0 is its first row)
    std::vector<RowMoment> moments; // when each row was logged
    JournalFile file;               // open and locked while in hand
};

// The window's journal as earlier versions wrote it, a file of lines, read
// back so that the rows a window of such a version left are still offered
// (the journal is an SQLite log now). The file, in UTF-8, one line per row
// after a header line:
//   velkor journal 1
//   No TAB Timestamp TAB Time TAB DC/AC TAB Value TAB Unit TAB Auto TAB CRC
// Timestamp is ISO 8601 with its UTC offset; tab, line feed, carriage return
// and backslash in a text are written \t \n \r \\; CRC is the CRC-32 of the
// line before its last tab, as 8 hex digits. A file is read back only when
// every line checks out: a line cut short at the very end (the write the
// crash interrupted) and zero bytes after the last line (blocks the disk
// had not filled) are dropped; anything else makes the file damaged.
class LogJournal {
public:
    // Rows a journal may hold: the log's largest size limit, twice.
    static constexpr qsizetype kMaxRows = 20'000'000;

    using Leftover = LogJournalLeftover;
    // Reads and checks one journal file; `inUse` when a running window
    // holds it.
    static Leftover read(const QString& path);
    // How these journal files' names end (".txt").
    static QString nameSuffix();

    // The CRC-32 (IEEE) of the bytes.
    static std::uint32_t crc32(const char* data, std::size_t size);
};

} // namespace velkor
