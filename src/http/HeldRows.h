#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <cstddef>
#include <deque>

namespace velkor::http {

// The last rows logged, as the server sends them: each row's JSON object
// and its CSV line, found by the row's number. At most `capacity` rows:
// the oldest go first. The numbers rise; a row whose number does not (a
// numbering that started again) starts the rows afresh.
class HeldRows {
public:
    explicit HeldRows(std::size_t capacity) : capacity_(capacity) {}

    void add(qint64 no, const QByteArray& json, const QByteArray& csv);

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    qint64 lastNo() const { return rows_.empty() ? 0 : rows_.back().no; }

    // The index of the first row numbered above `no` (size() when none).
    std::size_t indexAfter(qint64 no) const;
    // The number of the row before index `index` (for a reader that starts
    // there): one less than the row's own when it is the first.
    qint64 noBefore(std::size_t index) const;

    qint64 noAt(std::size_t index) const { return rows_[index].no; }
    QByteArrayView jsonAt(std::size_t index) const;
    QByteArrayView csvAt(std::size_t index) const;

private:
    struct Row {
        qint64 no;
        QByteArray text; // the JSON, then the CSV line
        int csvFrom;
    };
    std::size_t capacity_;
    std::deque<Row> rows_;
};

} // namespace velkor::http
