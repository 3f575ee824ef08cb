#include "record/LogJournal.h"

#include "platform/posix/SystemErrorText.h"
#include "record/Timestamp.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <unistd.h>

namespace velkor {

namespace {

constexpr char kHeader[] = "velkor journal 1\n";
constexpr qsizetype kHeaderSize = sizeof kHeader - 1;
constexpr int kFields = 8;
// No line the journal wrote is longer: five texts of 20 characters, each
// at most 8 bytes escaped, and the rest.
constexpr qsizetype kMaxLine = 1024;
constexpr const char* kNameSuffix = ".txt";

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    return table;
}

bool unescape(QByteArrayView field, QString* text) {
    QByteArray raw;
    raw.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\') {
            if (++i >= field.size()) {
                return false;
            }
            switch (field[i]) {
            case '\\': c = '\\'; break;
            case 't': c = '\t'; break;
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            default: return false;
            }
        } else if (c == '\0' || c == '\n' || c == '\r') {
            return false;
        }
        raw.append(c);
    }
    const QString decoded = QString::fromUtf8(raw);
    if (decoded.toUtf8() != raw || decoded.size() > kLogTextFieldWidth) {
        return false; // not UTF-8, or longer than the table keeps
    }
    *text = decoded;
    return true;
}

bool parseNo(QByteArrayView field, std::optional<qint32>* no) {
    if (field.isEmpty()) {
        *no = std::nullopt;
        return true;
    }
    bool ok = false;
    const qint32 v = QByteArray(field.data(), field.size()).toInt(&ok);
    if (!ok || QByteArray::number(v) != field) {
        return false;
    }
    *no = v;
    return true;
}

// One row line without its line end: the row and its moment, or false.
bool parseLine(QByteArrayView line, LogRecord* row, QDateTime* when) {
    const qsizetype lastTab = line.lastIndexOf('\t');
    if (lastTab < 0 || line.size() - lastTab - 1 != 8) {
        return false;
    }
    bool ok = false;
    const auto crc =
        static_cast<std::uint32_t>(QByteArray(line.data() + lastTab + 1, 8).toUInt(&ok, 16));
    if (!ok || crc != LogJournal::crc32(line.data(), static_cast<std::size_t>(lastTab))) {
        return false;
    }
    QByteArrayView fields[kFields - 1];
    qsizetype from = 0;
    for (int f = 0; f < kFields - 1; ++f) {
        const qsizetype tab = line.indexOf('\t', from);
        if (tab < 0 || tab > lastTab || (f == kFields - 2) != (tab == lastTab)) {
            return false;
        }
        fields[f] = line.sliced(from, tab - from);
        from = tab + 1;
    }
    *when = parseIsoTimestamp(fields[1]);
    if (!when->isValid() || !parseNo(fields[0], &row->No)) {
        return false;
    }
    QString* texts[5] = {&row->Time, &row->DCAC, &row->Value, &row->Unit, &row->Auto};
    for (int t = 0; t < 5; ++t) {
        if (!unescape(fields[2 + t], texts[t])) {
            return false;
        }
    }
    row->NVal = std::nullopt;
    return true;
}

} // namespace

std::uint32_t LogJournal::crc32(const char* data, std::size_t size) {
    const auto& table = crcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        c = table[(c ^ static_cast<std::uint8_t>(data[i])) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

// ----- Leftovers ----------------------------------------------------------

LogJournal::Leftover LogJournal::read(const QString& path) {
    Leftover l;
    l.path = path;
    auto damaged = [&](const QString& why) -> Leftover {
        l.damaged = true;
        l.reason = why;
        l.rows.clear();
        l.dates.clear();
        l.moments.clear();
        return std::move(l);
    };
    QString why;
    switch (l.file.take(path, &why)) {
    case JournalFile::Taken::Held: break;
    case JournalFile::Taken::InUse: l.inUse = true; return l;
    case JournalFile::Taken::Failed: return damaged(why);
    }

    QByteArray pending; // bytes of a line not yet ended
    bool header = false;
    bool inZeros = false; // only zero bytes may follow
    std::vector<char> buffer(1 << 20);
    try {
        for (;;) {
            const ssize_t n = ::read(l.file.fd(), buffer.data(), buffer.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return damaged(systemErrorText(errno));
            }
            if (n == 0) {
                break;
            }
            const auto zero = [](char c) { return c == 0; };
            if (inZeros) {
                if (!std::all_of(buffer.data(), buffer.data() + n, zero)) {
                    return damaged(QStringLiteral("記録の後ろに余分なデータがあります"));
                }
                continue;
            }
            pending.append(buffer.data(), n);
            qsizetype from = 0;
            for (;;) {
                const qsizetype end = pending.indexOf('\n', from);
                if (end < 0) {
                    break;
                }
                const QByteArrayView line(pending.constData() + from, end - from);
                if (!header) {
                    if (line != QByteArrayView(kHeader, kHeaderSize - 1)) {
                        return damaged(QStringLiteral("velkor のジャーナルではありません"));
                    }
                    header = true;
                } else {
                    LogRecord row;
                    QDateTime when;
                    if (line.size() > kMaxLine || !parseLine(line, &row, &when)) {
                        return damaged(
                            QStringLiteral("%1 行目が壊れています").arg(l.rows.rowCount() + 1));
                    }
                    if (l.rows.rowCount() >= kMaxRows) {
                        return damaged(QStringLiteral("%1 行を超えています").arg(kMaxRows));
                    }
                    l.dates.noteLogged(l.rows.rowCount(), when.date());
                    l.moments.push_back({when.toMSecsSinceEpoch(), when.offsetFromUtc()});
                    l.rows.append(row);
                }
                from = end + 1;
            }
            pending.remove(0, from);
            if (pending.size() > kMaxLine) {
                // No line is this long: the start of a line and zeros to the
                // end (blocks the disk had not filled when the power went),
                // or damage.
                const qsizetype firstZero = pending.indexOf('\0');
                if (firstZero < 0 || firstZero > kMaxLine ||
                    !std::all_of(pending.begin() + firstZero, pending.end(), zero)) {
                    return damaged(
                        QStringLiteral("%1 行目が壊れています").arg(l.rows.rowCount() + 1));
                }
                inZeros = true;
                pending.clear();
            }
        }
    } catch (const std::bad_alloc&) {
        return damaged(QStringLiteral("大きすぎて読み込めません"));
    }
    if (!header) {
        // A file cut short before its header was written holds no row.
        const bool zeros =
            std::all_of(pending.begin(), pending.end(), [](char c) { return c == 0; });
        const bool headerStart = QByteArrayView(kHeader, kHeaderSize).startsWith(pending);
        if (!zeros && !headerStart) {
            return damaged(QStringLiteral("velkor のジャーナルではありません"));
        }
    }
    // What follows the last line end is the line a crash cut short, or
    // blocks the disk had not filled yet: the rows before it stand.
    return l;
}

QString LogJournal::nameSuffix() {
    return QLatin1String(kNameSuffix);
}

} // namespace velkor
