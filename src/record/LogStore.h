#pragma once

#include "record/LogRecord.h"
#include "record/TextPool.h"

#include <QLocale>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace velkor {

// The rows of the measurement table, 32 bytes each, in blocks of 4096 rows
// (appending never copies the rows already held, and a cleared log gives its
// memory back). A row keeps:
//   No      as a number with a null flag;
//   Time    as seconds of the day with the time format it is shown in, or
//           the index of an interned text when it is no time of such a form;
//   Value   up to 7 characters below U+0100 inline, longer texts interned;
//   DC/AC, Unit, Auto   as indexes of interned texts;
//   NVal    null, as the program never writes it; values that a file brings
//           are kept beside the rows.
// Every text is cut to 20 characters on the way in, as the table cuts it.
class LogStore {
public:
    struct PackedRow {
        std::int32_t no;
        std::uint32_t time;
        std::uint64_t value;
        std::uint32_t function;
        std::uint32_t unit;
        std::uint32_t judge;
        std::uint32_t flags;
    };

    // Rows packed and room made for them, ready to be committed.
    struct PreparedRows {
        std::vector<PackedRow> rows;
        std::vector<std::pair<qsizetype, std::int32_t>> nvals; // row, NVal
    };

    LogStore() = default;
    LogStore(LogStore&&) noexcept = default;
    LogStore& operator=(LogStore&&) noexcept = default;

    qsizetype size() const { return size_; }

    // The Time code of a "hh:mm:ss" text of the given second of the day.
    static std::uint32_t clockTimeCode(int secondOfDay);
    // The Time code of the given second of the day written in `format` of
    // `locale` (the sampling path's locale time format).
    std::uint32_t localeTimeCode(int secondOfDay, const QLocale& locale, const QString& format);

    // One row as the record rules log it. prepareRow may throw (memory) and
    // changes no row; commitRow cannot fail.
    PackedRow prepareRow(std::int32_t no, std::uint32_t timeCode, const QString& function,
                         const QString& value, const QString& unit, const QString& judge);
    void commitRow(const PackedRow& row) noexcept;

    // Rows from a file or another table, all or none: prepare may throw and
    // changes no row; commit cannot fail.
    PreparedRows prepare(const std::vector<LogRecord>& records);
    void commit(PreparedRows&& prepared) noexcept;

    // An empty store with this one's time formats.
    LogStore emptyCopy() const;
    // Drops every row and interned text.
    void clear();

    LogRecord record(qsizetype row) const;
    std::optional<std::int32_t> no(qsizetype row) const;
    // Text of field 1-5 (Time, DC/AC, Value, Unit, Auto).
    QString text(qsizetype row, int field) const;

    // Bytes held for rows (the blocks and their index), without the texts.
    std::size_t rowBytes() const;

private:
    static constexpr int kBlockShift = 12;
    static constexpr qsizetype kBlockRows = qsizetype(1) << kBlockShift;

    struct TimeFormat {
        QLocale locale;
        QString format;
    };

    const PackedRow& at(qsizetype row) const {
        return blocks_[static_cast<std::size_t>(row >> kBlockShift)][row & (kBlockRows - 1)];
    }
    void reserve(qsizetype rows);
    std::uint64_t packValue(const QString& value);
    QString unpackValue(std::uint64_t bits) const;
    std::uint32_t packTime(const QString& time);
    QString unpackTime(std::uint32_t code) const;
    PackedRow pack(const LogRecord& record);

    std::vector<std::unique_ptr<PackedRow[]>> blocks_;
    qsizetype size_ = 0;
    TextPool pool_;
    std::vector<std::pair<qsizetype, std::int32_t>> nvals_; // ascending rows
    std::vector<TimeFormat> formats_;                       // format id - 1
};

} // namespace velkor
