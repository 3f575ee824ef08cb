#include "record/LogStore.h"

#include "record/TimeTexts.h"

#include <QTime>
#include <algorithm>
#include <climits>
#include <stdexcept>

namespace velkor {

namespace {

constexpr std::uint32_t kHasNo = 1;
constexpr std::uint32_t kHasNVal = 2;

// Time codes: the top bit set means seconds of the day (bits 0-16) in time
// format F (bits 17-30; 0 is "hh:mm:ss", F > 0 the registered format F);
// the top bit clear means an interned text.
constexpr std::uint32_t kTimeIsClock = 0x80000000u;
constexpr int kFormatShift = 17;
constexpr std::uint32_t kSecondMask = (1u << kFormatShift) - 1;
constexpr std::size_t kMaxFormats = (1u << (31 - kFormatShift)) - 1;

// Value texts: the top byte holds the length of an inline text (0-7) whose
// characters fill the bytes below, or kValueInterned.
constexpr std::uint64_t kValueInterned = 0xFF;
constexpr int kInlineValueChars = 7;

QString cut(const QString& text) {
    return text.size() > kLogTextFieldWidth ? text.left(kLogTextFieldWidth) : text;
}

} // namespace

static_assert(sizeof(LogStore::PackedRow) == 32);

std::uint32_t LogStore::clockTimeCode(int secondOfDay) {
    return kTimeIsClock | (static_cast<std::uint32_t>(secondOfDay) & kSecondMask);
}

std::uint32_t LogStore::localeTimeCode(int secondOfDay, const QLocale& locale,
                                       const QString& format) {
    auto it = std::find_if(formats_.begin(), formats_.end(), [&](const TimeFormat& f) {
        return f.format == format && f.locale == locale;
    });
    if (it == formats_.end()) {
        if (formats_.size() >= kMaxFormats) {
            return pool_.intern(
                cut(locale.toString(QTime::fromMSecsSinceStartOfDay(secondOfDay * 1000), format)));
        }
        formats_.push_back({locale, format});
        it = formats_.end() - 1;
    }
    const auto id = static_cast<std::uint32_t>(it - formats_.begin()) + 1;
    return kTimeIsClock | (id << kFormatShift) |
           (static_cast<std::uint32_t>(secondOfDay) & kSecondMask);
}

std::uint32_t LogStore::packTime(const QString& time) {
    const int s = clockTimeSeconds(time);
    return s >= 0 ? clockTimeCode(s) : pool_.intern(cut(time));
}

QString LogStore::unpackTime(std::uint32_t code) const {
    if (!(code & kTimeIsClock)) {
        return pool_.text(code);
    }
    const QTime t = QTime::fromMSecsSinceStartOfDay(static_cast<int>(code & kSecondMask) * 1000);
    const std::uint32_t id = (code & ~kTimeIsClock) >> kFormatShift;
    if (id == 0) {
        return clockTimeText(t);
    }
    const TimeFormat& f = formats_[id - 1];
    return cut(f.locale.toString(t, f.format));
}

std::uint64_t LogStore::packValue(const QString& value) {
    if (value.size() <= kInlineValueChars) {
        std::uint64_t bits = static_cast<std::uint64_t>(value.size()) << 56;
        bool fits = true;
        for (qsizetype i = 0; i < value.size() && fits; ++i) {
            const char16_t c = value[i].unicode();
            fits = c != 0 && c < 0x100;
            bits |= static_cast<std::uint64_t>(c & 0xFF) << (8 * i);
        }
        if (fits) {
            return bits;
        }
    }
    return (kValueInterned << 56) | pool_.intern(cut(value));
}

QString LogStore::unpackValue(std::uint64_t bits) const {
    const auto length = static_cast<int>(bits >> 56);
    if (length == static_cast<int>(kValueInterned)) {
        return pool_.text(static_cast<std::uint32_t>(bits));
    }
    char chars[kInlineValueChars];
    for (int i = 0; i < length; ++i) {
        chars[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    return QString::fromLatin1(chars, length);
}

void LogStore::reserve(qsizetype rows) {
    if (rows > INT_MAX) {
        throw std::length_error("the measurement table holds at most 2147483647 rows");
    }
    const auto blocks = static_cast<std::size_t>((rows + kBlockRows - 1) >> kBlockShift);
    if (blocks > blocks_.size()) {
        blocks_.reserve(std::max(blocks, blocks_.size() * 2));
        while (blocks_.size() < blocks) {
            blocks_.push_back(std::make_unique_for_overwrite<PackedRow[]>(kBlockRows));
        }
    }
}

LogStore::PackedRow LogStore::prepareRow(std::int32_t no, std::uint32_t timeCode,
                                         const QString& function, const QString& value,
                                         const QString& unit, const QString& judge) {
    reserve(size_ + 1);
    return PackedRow{no,
                     timeCode,
                     packValue(value),
                     pool_.intern(cut(function)),
                     pool_.intern(cut(unit)),
                     pool_.intern(cut(judge)),
                     kHasNo};
}

void LogStore::commitRow(const PackedRow& row) noexcept {
    blocks_[static_cast<std::size_t>(size_ >> kBlockShift)][size_ & (kBlockRows - 1)] = row;
    ++size_;
}

LogStore::PackedRow LogStore::pack(const LogRecord& r) {
    return PackedRow{r.No.value_or(0),
                     packTime(r.Time),
                     packValue(r.Value),
                     pool_.intern(cut(r.DCAC)),
                     pool_.intern(cut(r.Unit)),
                     pool_.intern(cut(r.Auto)),
                     (r.No ? kHasNo : 0) | (r.NVal ? kHasNVal : 0)};
}

LogStore::PreparedRows LogStore::prepare(const std::vector<LogRecord>& records) {
    PreparedRows p;
    p.rows.reserve(records.size());
    for (const LogRecord& r : records) {
        if (r.NVal) {
            p.nvals.emplace_back(size_ + static_cast<qsizetype>(p.rows.size()), *r.NVal);
        }
        p.rows.push_back(pack(r));
    }
    reserve(size_ + static_cast<qsizetype>(p.rows.size()));
    nvals_.reserve(nvals_.size() + p.nvals.size());
    return p;
}

void LogStore::commit(PreparedRows&& prepared) noexcept {
    for (const PackedRow& row : prepared.rows) {
        commitRow(row);
    }
    nvals_.insert(nvals_.end(), prepared.nvals.begin(), prepared.nvals.end());
}

LogStore LogStore::emptyCopy() const {
    LogStore s;
    s.formats_ = formats_;
    return s;
}

void LogStore::clear() {
    std::vector<std::unique_ptr<PackedRow[]>>().swap(blocks_);
    size_ = 0;
    pool_ = TextPool();
    std::vector<std::pair<qsizetype, std::int32_t>>().swap(nvals_);
}

std::optional<std::int32_t> LogStore::no(qsizetype row) const {
    const PackedRow& r = at(row);
    return (r.flags & kHasNo) ? std::optional<std::int32_t>(r.no) : std::nullopt;
}

QString LogStore::text(qsizetype row, int field) const {
    const PackedRow& r = at(row);
    switch (field) {
    case 1: return unpackTime(r.time);
    case 2: return pool_.text(r.function);
    case 3: return unpackValue(r.value);
    case 4: return pool_.text(r.unit);
    case 5: return pool_.text(r.judge);
    default: return {};
    }
}

LogRecord LogStore::record(qsizetype row) const {
    const PackedRow& r = at(row);
    LogRecord out;
    out.No = no(row);
    out.Time = unpackTime(r.time);
    out.DCAC = pool_.text(r.function);
    out.Value = unpackValue(r.value);
    out.Unit = pool_.text(r.unit);
    out.Auto = pool_.text(r.judge);
    if (r.flags & kHasNVal) {
        const auto it =
            std::lower_bound(nvals_.begin(), nvals_.end(), row,
                             [](const auto& entry, qsizetype x) { return entry.first < x; });
        if (it != nvals_.end() && it->first == row) {
            out.NVal = it->second;
        }
    }
    return out;
}

std::size_t LogStore::rowBytes() const {
    return blocks_.size() * static_cast<std::size_t>(kBlockRows) * sizeof(PackedRow) +
           blocks_.capacity() * sizeof(blocks_[0]) + nvals_.capacity() * sizeof(nvals_[0]);
}

} // namespace velkor
