#include "record/LogRowBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace velkor {

namespace {

constexpr unsigned char kWide = 0x80;

// A text's hash from its characters, the same whether they are held one
// byte or two bytes each: four characters at a time as 16-bit lanes of one
// word, then mixed.
constexpr std::uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ULL;

std::uint64_t mixHash(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return h;
}

template <class Char> std::uint32_t hashChars(const Char* s, qsizetype n) {
    std::uint64_t h = kHashMultiplier * static_cast<std::uint64_t>(n + 1);
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        const std::uint64_t lanes = std::uint64_t(s[i]) | (std::uint64_t(s[i + 1]) << 16) |
                                    (std::uint64_t(s[i + 2]) << 32) |
                                    (std::uint64_t(s[i + 3]) << 48);
        h = (h ^ lanes) * kHashMultiplier;
        h ^= h >> 29;
    }
    std::uint64_t lanes = 0;
    for (int lane = 0; i < n; ++i, ++lane) {
        lanes |= std::uint64_t(s[i]) << (16 * lane);
    }
    return static_cast<std::uint32_t>(mixHash((h ^ lanes) * kHashMultiplier));
}

std::uint32_t hashOf(QStringView text) {
    return hashChars(reinterpret_cast<const char16_t*>(text.utf16()), text.size());
}

std::uint32_t hashOf(QLatin1String text) {
    return hashChars(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

QLatin1String cutToFieldWidth(QLatin1String text) {
    return text.size() <= kLogTextFieldWidth ? text : text.left(kLogTextFieldWidth);
}

bool isLatin1(QStringView text) {
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            return false;
        }
    }
    return true;
}

} // namespace

QStringView cutToFieldWidth(QStringView text) {
    if (text.size() <= kLogTextFieldWidth) {
        return text;
    }
    const bool splitsPair = text[kLogTextFieldWidth - 1].isHighSurrogate();
    return text.left(splitsPair ? kLogTextFieldWidth - 1 : kLogTextFieldWidth);
}

LogRowBuffer::LogRowBuffer() : textAt_{0}, shared_{QString()} {}

const unsigned char* LogRowBuffer::textBytes(std::uint32_t id) const {
    const std::uint64_t at = textAt_[id];
    return textBlocks_[static_cast<std::size_t>(at >> kTextBlockShift)].get() +
           (at & (kTextBlockBytes - 1));
}

QString LogRowBuffer::textOf(std::uint32_t id) const {
    if (id < shared_.size()) {
        return shared_[id];
    }
    const unsigned char* p = textBytes(id);
    const qsizetype n = *p & ~kWide;
    if (!(*p & kWide)) {
        return QString::fromLatin1(reinterpret_cast<const char*>(p + 1), n);
    }
    QString out(n, Qt::Uninitialized);
    std::memcpy(out.data(), p + 1, static_cast<std::size_t>(n) * 2);
    return out;
}

bool LogRowBuffer::isText(std::uint32_t id, QStringView text) const {
    if (id == 0) {
        return text.isEmpty();
    }
    const unsigned char* p = textBytes(id);
    if ((*p & ~kWide) != text.size()) {
        return false;
    }
    if (*p & kWide) {
        return std::memcmp(p + 1, text.utf16(), static_cast<std::size_t>(text.size()) * 2) == 0;
    }
    const char16_t* u = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (u[i] != p[1 + i]) {
            return false;
        }
    }
    return true;
}

bool LogRowBuffer::isText(std::uint32_t id, QLatin1String text) const {
    if (id == 0) {
        return text.isEmpty();
    }
    // A text held two bytes a character has one beyond Latin-1.
    const unsigned char* p = textBytes(id);
    return *p == text.size() &&
           std::memcmp(p + 1, text.data(), static_cast<std::size_t>(text.size())) == 0;
}

// Room for a text of `need` bytes in the last block, or a new one; `at`
// is where it starts.
unsigned char* LogRowBuffer::textRoom(std::size_t need, std::uint64_t* at) {
    if (textBlockUsed_ + need > kTextBlockBytes) {
        textBlocks_.push_back(std::make_unique_for_overwrite<unsigned char[]>(kTextBlockBytes));
        textBlockUsed_ = 0;
    }
    *at = (std::uint64_t(textBlocks_.size() - 1) << kTextBlockShift) | textBlockUsed_;
    return textBlocks_.back().get() + textBlockUsed_;
}

std::uint32_t LogRowBuffer::store(QStringView text) {
    const bool latin1 = isLatin1(text);
    const std::size_t need =
        1 + static_cast<std::size_t>(text.size()) * (latin1 ? 1 : 2); // at most 41 bytes
    std::uint64_t at = 0;
    unsigned char* p = textRoom(need, &at);
    *p = static_cast<unsigned char>(text.size()) | (latin1 ? 0 : kWide);
    if (latin1) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            p[1 + i] = static_cast<unsigned char>(text[i].unicode());
        }
    } else {
        std::memcpy(p + 1, text.utf16(), static_cast<std::size_t>(text.size()) * 2);
    }
    return stored(at, need, sharesNext() ? text.toString() : QString());
}

std::uint32_t LogRowBuffer::store(QLatin1String text) {
    const std::size_t need = 1 + static_cast<std::size_t>(text.size());
    std::uint64_t at = 0;
    unsigned char* p = textRoom(need, &at);
    *p = static_cast<unsigned char>(text.size());
    std::memcpy(p + 1, text.data(), static_cast<std::size_t>(text.size()));
    return stored(at, need, sharesNext() ? QString(text) : QString());
}

// Records a text just written at `at`, `need` bytes, and, while there is
// room, its string object.
std::uint32_t LogRowBuffer::stored(std::uint64_t at, std::size_t need, QString&& shared) {
    const bool shares = sharesNext();
    textAt_.push_back(at);
    if (shares) {
        try {
            shared_.push_back(std::move(shared));
        } catch (...) {
            textAt_.pop_back();
            throw;
        }
    }
    textBlockUsed_ += need;
    return static_cast<std::uint32_t>(textAt_.size() - 1);
}

void LogRowBuffer::FreeBlock::operator()(Row* block) const noexcept {
    std::free(block);
}

void LogRowBuffer::push(const Row& row) {
    if ((size_ & (kBlockRows - 1)) == 0 &&
        static_cast<std::size_t>(size_ >> kBlockShift) == blocks_.size()) {
        constexpr std::size_t kBytes = kBlockRows * sizeof(Row);
        std::unique_ptr<Row[], FreeBlock> block(
            static_cast<Row*>(std::aligned_alloc(kBytes, kBytes)));
        if (!block) {
            throw std::bad_alloc();
        }
        if (!blocks_.empty()) {
            // Past the first block the log is large: huge pages where the
            // system gives them on request. A small log stays on small
            // pages, touched only as far as it reaches.
            ::madvise(block.get(), kBytes, MADV_HUGEPAGE);
        }
        blocks_.push_back(std::move(block));
    }
    blocks_[static_cast<std::size_t>(size_ >> kBlockShift)][size_ & (kBlockRows - 1)] = row;
    ++size_;
}

template <class Text> std::uint32_t LogRowBuffer::intern(Text text, int field) {
    text = cutToFieldWidth(text);
    if (text.isEmpty()) {
        return 0;
    }
    const std::uint32_t guess = last_[field];
    if (isText(guess, text)) {
        return guess;
    }
    if ((textAt_.size() + 1) * 4 > index_.size() * 3) {
        growIndex();
    }
    const std::uint32_t hash = hashOf(text);
    const std::size_t mask = index_.size() - 1;
    std::size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = index_[slot];
        if (entry == 0) {
            break;
        }
        if (static_cast<std::uint32_t>(entry >> 32) == hash) {
            const auto id = static_cast<std::uint32_t>(entry) - 1;
            if (isText(id, text)) {
                last_[field] = id;
                return id;
            }
        }
    }
    const std::uint32_t id = store(text);
    index_[slot] = (std::uint64_t(hash) << 32) | (id + 1);
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

template <class TextArray>
void LogRowBuffer::appendRow(std::optional<qint32> no, const TextArray& texts,
                             std::optional<qint32> nval) {
    Row r{no.value_or(0), nval.value_or(0), {}, 0};
    r.flags = (no ? kHasNo : 0) | (nval ? kHasNVal : 0);
    for (int f = 0; f < 5; ++f) {
        r.text[f] = intern(texts[static_cast<std::size_t>(f)], f);
    }
    push(r);
}

void LogRowBuffer::append(std::optional<qint32> no, const Texts& texts,
                          std::optional<qint32> nval) {
    appendRow(no, texts, nval);
}

void LogRowBuffer::append(std::optional<qint32> no, const Latin1Texts& texts,
                          std::optional<qint32> nval) {
    appendRow(no, texts, nval);
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

std::optional<qint32> LogRowBuffer::nval(qsizetype row) const {
    const Row& r = at(row);
    return (r.flags & kHasNVal) ? std::optional<qint32>(r.nval) : std::nullopt;
}

LogRowBuffer::HeldText LogRowBuffer::heldText(std::uint32_t number) const {
    if (number == 0) {
        return {nullptr, 0, false};
    }
    const unsigned char* p = textBytes(number);
    return {p + 1, *p & ~kWide, (*p & kWide) != 0};
}

LogRecord LogRowBuffer::row(qsizetype index) const {
    const Row& r = at(index);
    LogRecord rec;
    if (r.flags & kHasNo) {
        rec.No = r.no;
    }
    rec.Time = textOf(r.text[0]);
    rec.DCAC = textOf(r.text[1]);
    rec.Value = textOf(r.text[2]);
    rec.Unit = textOf(r.text[3]);
    rec.Auto = textOf(r.text[4]);
    if (r.flags & kHasNVal) {
        rec.NVal = r.nval;
    }
    return rec;
}

void LogRowBuffer::appendAll(const LogRowBuffer& other) {
    const qsizetype before = size_;
    try {
        // Each of the other store's texts is found or added here once.
        std::vector<std::uint32_t> ids(other.textAt_.size(), 0);
        std::vector<bool> mapped(other.textAt_.size(), false);
        const auto idOf = [&](std::uint32_t theirs, int field) {
            if (theirs == 0) {
                return std::uint32_t(0);
            }
            if (!mapped[theirs]) {
                const HeldText t = other.heldText(theirs);
                if (t.wide) {
                    std::u16string chars(static_cast<std::size_t>(t.size), u'\0');
                    std::memcpy(chars.data(), t.chars, chars.size() * 2);
                    ids[theirs] = intern(QStringView(chars.data(), t.size), field);
                } else {
                    ids[theirs] =
                        intern(QLatin1String(reinterpret_cast<const char*>(t.chars), t.size), field);
                }
                mapped[theirs] = true;
            }
            return ids[theirs];
        };
        const qsizetype n = other.size_; // `other` may be this store
        for (qsizetype i = 0; i < n; ++i) {
            Row r = other.at(i);
            for (int f = 0; f < 5; ++f) {
                r.text[f] = idOf(r.text[f], f);
            }
            push(r);
        }
    } catch (...) {
        truncate(before);
        throw;
    }
}

std::size_t LogRowBuffer::bytes() const {
    return static_cast<std::size_t>(size_) * sizeof(Row) + textBlocks_.size() * kTextBlockBytes +
           (textAt_.capacity() + index_.capacity()) * sizeof(std::uint64_t) +
           shared_.size() * (sizeof(QString) + 64);
}

} // namespace velkor
