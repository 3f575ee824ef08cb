#include "record/LogRowBuffer.h"

#include <algorithm>
#include <cstring>

namespace velkor {

namespace {

// Text equality inline: the buffer asks it once or twice for every text.
bool sameText(const QString& a, QStringView b) {
    return a.size() == b.size() &&
           std::memcmp(a.utf16(), b.utf16(), static_cast<std::size_t>(b.size()) * 2) == 0;
}

} // namespace

QStringView cutToFieldWidth(QStringView text) {
    if (text.size() <= kLogTextFieldWidth) {
        return text;
    }
    const bool splitsPair = text[kLogTextFieldWidth - 1].isHighSurrogate();
    return text.left(splitsPair ? kLogTextFieldWidth - 1 : kLogTextFieldWidth);
}

LogRowBuffer::LogRowBuffer() : texts_{QString()} {}

LogRowBuffer LogRowBuffer::snapshotOf(const LogTable& table) {
    LogRowBuffer copy;
    const qsizetype n = table.rowCount();
    for (qsizetype i = 0; i < n; ++i) {
        copy.append(table.row(i));
    }
    return copy;
}

void LogRowBuffer::push(const Row& row) {
    if ((size_ & (kBlockRows - 1)) == 0 &&
        static_cast<std::size_t>(size_ >> kBlockShift) == blocks_.size()) {
        blocks_.push_back(std::make_unique_for_overwrite<Row[]>(kBlockRows));
    }
    blocks_[static_cast<std::size_t>(size_ >> kBlockShift)][size_ & (kBlockRows - 1)] = row;
    ++size_;
}

std::uint32_t LogRowBuffer::intern(QStringView text, int field) {
    text = cutToFieldWidth(text);
    if (text.isEmpty()) {
        return 0;
    }
    const std::uint32_t guess = last_[field];
    if (sameText(texts_[guess], text)) {
        return guess;
    }
    if ((texts_.size() + 1) * 2 > index_.size()) {
        growIndex();
    }
    const auto hash = static_cast<std::uint32_t>(qHash(text));
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = index_[slot];
        if (entry == 0) {
            break;
        }
        if (static_cast<std::uint32_t>(entry >> 32) == hash) {
            const auto id = static_cast<std::uint32_t>(entry) - 1;
            if (sameText(texts_[id], text)) {
                last_[field] = id;
                return id;
            }
        }
    }
    const auto id = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(text.toString());
    index_[slot] = (std::uint64_t(hash) << 32) | (id + 1);
    textBytes_ += sizeof(QString) + 2 * static_cast<std::size_t>(text.size()) + 32;
    last_[field] = id;
    return id;
}

void LogRowBuffer::growIndex() {
    std::vector<std::uint64_t> bigger(std::max<std::size_t>(index_.size() * 2, 256), 0);
    const std::size_t mask = bigger.size() - 1;
    for (const std::uint64_t entry : index_) {
        if (entry != 0) {
            std::size_t slot = (entry >> 32) & mask;
            while (bigger[slot] != 0) {
                slot = (slot + 1) & mask;
            }
            bigger[slot] = entry;
        }
    }
    index_ = std::move(bigger);
}

void LogRowBuffer::append(std::optional<qint32> no, const Texts& texts,
                          std::optional<qint32> nval) {
    Row r{no.value_or(0), nval.value_or(0), {}, 0};
    r.flags = (no ? kHasNo : 0) | (nval ? kHasNVal : 0);
    for (int f = 0; f < 5; ++f) {
        r.text[f] = intern(texts[static_cast<std::size_t>(f)], f);
    }
    push(r);
}

void LogRowBuffer::append(const LogRecord& record) {
    append(record.No, {record.Time, record.DCAC, record.Value, record.Unit, record.Auto},
           record.NVal);
}

void LogRowBuffer::truncate(qsizetype rows) {
    if (rows < size_) {
        size_ = std::max<qsizetype>(rows, 0);
        blocks_.resize(static_cast<std::size_t>((size_ + kBlockRows - 1) >> kBlockShift));
    }
}

void LogRowBuffer::clear() {
    *this = LogRowBuffer();
}

std::optional<qint32> LogRowBuffer::no(qsizetype row) const {
    const Row& r = at(row);
    return (r.flags & kHasNo) ? std::optional<qint32>(r.no) : std::nullopt;
}

LogRecord LogRowBuffer::row(qsizetype index) const {
    const Row& r = at(index);
    LogRecord rec;
    if (r.flags & kHasNo) {
        rec.No = r.no;
    }
    rec.Time = texts_[r.text[0]];
    rec.DCAC = texts_[r.text[1]];
    rec.Value = texts_[r.text[2]];
    rec.Unit = texts_[r.text[3]];
    rec.Auto = texts_[r.text[4]];
    if (r.flags & kHasNVal) {
        rec.NVal = r.nval;
    }
    return rec;
}

void LogRowBuffer::appendRows(const std::vector<LogRecord>& rows) {
    const qsizetype before = size_;
    try {
        for (const LogRecord& r : rows) {
            append(r);
        }
    } catch (...) {
        truncate(before);
        throw;
    }
}

void LogRowBuffer::replaceRows(const std::vector<LogRecord>& rows) {
    LogRowBuffer fresh;
    fresh.appendRows(rows);
    *this = std::move(fresh);
}

std::vector<LogRecord> LogRowBuffer::slice(qsizetype from, qsizetype count) const {
    std::vector<LogRecord> out;
    out.reserve(static_cast<std::size_t>(count));
    for (qsizetype i = from; i < from + count; ++i) {
        out.push_back(row(i));
    }
    return out;
}

void LogRowBuffer::appendTo(LogTable& table) const {
    for (qsizetype from = 0; from < rowCount(); from += kSliceRows) {
        table.appendRows(slice(from, std::min(kSliceRows, rowCount() - from)));
    }
}

void LogRowBuffer::replaceRowsOf(LogTable& table) const {
    table.replaceRows(slice(0, std::min(kSliceRows, rowCount())));
    for (qsizetype from = kSliceRows; from < rowCount(); from += kSliceRows) {
        table.appendRows(slice(from, std::min(kSliceRows, rowCount() - from)));
    }
}

std::size_t LogRowBuffer::bytes() const {
    return blocks_.size() * kBlockRows * sizeof(Row) + textBytes_ +
           index_.capacity() * sizeof(std::uint64_t);
}

} // namespace velkor
