#include "logfiles/sqlite/LogSqliteRow.h"

#include "meter/UnitTable.h"

#include <iterator>

namespace velkor::sqlite {

namespace {

enum Column {
    kRun = 1,
    kNo,
    kUtcMs,
    kUtcOffset,
    kTime,
    kFunction,
    kValue,
    kUnit,
    kJudge,
    kSi,
    kSiUnit,
    kMarks,
    kFrame,
    kUnitCode,
    kNVal,
};

const char* const kInsert =
    "INSERT INTO readings (run, no, utc_ms, utc_offset, time, function, value, unit, judge, si, "
    "si_unit, marks, frame, unit_code, nval) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)";

bool sameBytes(const std::string& held, QByteArrayView bytes) {
    return held.size() == static_cast<std::size_t>(bytes.size()) &&
           held.compare(0, held.size(), bytes.data(), held.size()) == 0;
}

void bindText(sqlite3_stmt* s, int column, QByteArrayView text) {
    sqlite3_bind_text(s, column, text.isNull() ? "" : text.data(), static_cast<int>(text.size()),
                      SQLITE_STATIC);
}

} // namespace

QByteArrayView utf8Of(const QString& text, std::string& buffer) {
    buffer.resize(static_cast<std::size_t>(text.size()));
    const char16_t* u = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (u[i] >= 0x80) {
            const QByteArray utf8 = text.toUtf8();
            buffer.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
            break;
        }
        buffer[static_cast<std::size_t>(i)] = static_cast<char>(u[i]);
    }
    return QByteArrayView(buffer.data(), static_cast<qsizetype>(buffer.size()));
}

ReadingInserter::ReadingInserter(Database& db) : insert_(db, kInsert) {}

void ReadingInserter::deriveUnit(QByteArrayView unitCode) {
    if (unitKnown_ && sameBytes(unitCode_, unitCode)) {
        return;
    }
    unitCode_.assign(unitCode.data() ? unitCode.data() : "",
                     static_cast<std::size_t>(unitCode.size()));
    unitText_ = QString::fromUtf8(unitCode);
    if (const auto info = unitInfo(unitText_)) {
        readable_ = info->readable.toUtf8();
        base_ = info->base.toUtf8();
    } else {
        readable_ = readableUnit(unitText_).toUtf8();
        base_ = QByteArray();
    }
    unitKnown_ = true;
    valueKnown_ = false; // the same value in another unit is another number
}

void ReadingInserter::deriveValue(QByteArrayView value) {
    if (valueKnown_ && sameBytes(value_, value)) {
        return;
    }
    value_.assign(value.data() ? value.data() : "", static_cast<std::size_t>(value.size()));
    valueKnown_ = true;
    // A value is a few ASCII characters: read where they lie.
    char16_t chars[32];
    if (value.size() <= qsizetype(std::size(chars))) {
        bool ascii = true;
        for (qsizetype i = 0; i < value.size(); ++i) {
            ascii = ascii && static_cast<unsigned char>(value[i]) < 0x80;
            chars[i] = static_cast<unsigned char>(value[i]);
        }
        if (ascii) {
            si_ = baseUnitValue(QStringView(chars, value.size()), unitText_);
            return;
        }
    }
    si_ = baseUnitValue(QString::fromUtf8(value), unitText_);
}

bool ReadingInserter::insert(qint64 run, const ReadingRow& r) {
    sqlite3_stmt* s = insert_.get();
    deriveUnit(r.unitCode);
    deriveValue(r.value);
    sqlite3_bind_int64(s, kRun, run);
    if (r.no) {
        sqlite3_bind_int64(s, kNo, *r.no);
    } else {
        sqlite3_bind_null(s, kNo);
    }
    if (r.utcMs) {
        sqlite3_bind_int64(s, kUtcMs, *r.utcMs);
        sqlite3_bind_int64(s, kUtcOffset, r.utcOffset);
    } else {
        sqlite3_bind_null(s, kUtcMs);
        sqlite3_bind_null(s, kUtcOffset);
    }
    bindText(s, kTime, r.time);
    bindText(s, kFunction, r.function);
    bindText(s, kValue, r.value);
    bindText(s, kUnit, readable_);
    bindText(s, kJudge, r.judge);
    if (si_) {
        sqlite3_bind_double(s, kSi, *si_);
    } else {
        sqlite3_bind_null(s, kSi);
    }
    if (!base_.isEmpty()) {
        bindText(s, kSiUnit, base_);
    } else {
        sqlite3_bind_null(s, kSiUnit);
    }
    if (r.marks) {
        if (!marksKnown_ || *r.marks != lastMarks_) {
            lastMarks_ = *r.marks;
            marksText_ = markNames(lastMarks_, marksBuffer_);
            marksKnown_ = true;
        }
        sqlite3_bind_text(s, kMarks, marksText_.data(), static_cast<int>(marksText_.size()),
                          SQLITE_STATIC);
    } else {
        sqlite3_bind_null(s, kMarks);
    }
    if (!r.frame.isEmpty()) {
        sqlite3_bind_blob(s, kFrame, r.frame.data(), static_cast<int>(r.frame.size()),
                          SQLITE_STATIC);
    } else {
        sqlite3_bind_null(s, kFrame);
    }
    bindText(s, kUnitCode, r.unitCode);
    if (r.nval) {
        sqlite3_bind_int64(s, kNVal, *r.nval);
    } else {
        sqlite3_bind_null(s, kNVal);
    }
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE;
}

} // namespace velkor::sqlite
