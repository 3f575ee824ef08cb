#include "http/HeldRows.h"

#include <algorithm>

namespace velkor::http {

void HeldRows::add(qint64 no, const QByteArray& json, const QByteArray& csv) {
    if (capacity_ == 0) {
        return;
    }
    if (!rows_.empty() && no <= rows_.back().no) {
        rows_.clear();
    }
    if (rows_.size() >= capacity_) {
        rows_.pop_front();
    }
    QByteArray text;
    text.reserve(json.size() + csv.size());
    text += json;
    text += csv;
    rows_.push_back({no, std::move(text), static_cast<int>(json.size())});
}

std::size_t HeldRows::indexAfter(qint64 no) const {
    const auto it = std::upper_bound(rows_.begin(), rows_.end(), no,
                                     [](qint64 n, const Row& row) { return n < row.no; });
    return static_cast<std::size_t>(it - rows_.begin());
}

qint64 HeldRows::noBefore(std::size_t index) const {
    if (index >= rows_.size()) {
        return lastNo();
    }
    return index == 0 ? rows_[0].no - 1 : rows_[index - 1].no;
}

QByteArrayView HeldRows::jsonAt(std::size_t index) const {
    const Row& r = rows_[index];
    return QByteArrayView(r.text).first(r.csvFrom);
}

QByteArrayView HeldRows::csvAt(std::size_t index) const {
    const Row& r = rows_[index];
    return QByteArrayView(r.text).sliced(r.csvFrom);
}

} // namespace velkor::http
