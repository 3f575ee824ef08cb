#include "record/LogJournal.h"

#include "platform/posix/SystemErrorText.h"
#include "record/Timestamp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velkor {

namespace {

constexpr char kHeader[] = "velkor journal 1\n";
constexpr qsizetype kHeaderSize = sizeof kHeader - 1;
constexpr int kFields = 8;
// No line the journal writes is longer: five texts of 20 characters, each
// at most 8 bytes escaped, and the rest.
constexpr qsizetype kMaxLine = 1024;
constexpr const char* kNamePrefix = "journal-";
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

void appendEscaped(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '\\': out.append("\\\\", 2); break;
        case '\t': out.append("\\t", 2); break;
        case '\n': out.append("\\n", 2); break;
        case '\r': out.append("\\r", 2); break;
        default: out.append(c);
        }
    }
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

QString damagedName(const QString& path) {
    QString name = path + QStringLiteral(".damaged");
    for (int i = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++i) {
        name = path + QStringLiteral(".damaged-%1").arg(i);
    }
    return name;
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

QByteArray LogJournal::rowLine(const LogRecord& row, const QDateTime& when) {
    QByteArray line;
    line.reserve(128);
    if (row.No) {
        line.append(QByteArray::number(*row.No));
    }
    line.append('\t');
    line.append(isoTimestampUtf8(when));
    for (const QString* t : {&row.Time, &row.DCAC, &row.Value, &row.Unit, &row.Auto}) {
        line.append('\t');
        appendEscaped(line, *t);
    }
    char crc[12];
    const int n = std::snprintf(crc, sizeof crc, "\t%08x\n",
                                crc32(line.constData(), static_cast<std::size_t>(line.size())));
    line.append(crc, n);
    return line;
}

LogJournal::LogJournal(QString directory, FileSystem& fs)
    : fs_(fs), directory_(std::move(directory)) {}

LogJournal::~LogJournal() {
    if (fd_ >= 0) {
        stopSyncThread();
        ::close(fd_);
        fd_ = -1;
    }
}

bool LogJournal::open() {
    if (fd_ >= 0) {
        return true;
    }
    const QDir dir(directory_);
    if (!dir.exists()) {
        if (!QDir().mkpath(directory_)) {
            // The last step again, for the system's reason.
            const int e = ::mkdir(QFile::encodeName(directory_).constData(), 0700) != 0 ? errno : 0;
            error_ = QStringLiteral("%1: フォルダを作れません").arg(directory_);
            if (e != 0 && e != EEXIST) {
                error_ += QStringLiteral(" (%1)").arg(systemErrorText(e));
            }
            return false;
        }
        QFile::setPermissions(directory_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        path_ = dir.filePath(QStringLiteral("%1%2-%3-%4%5")
                                 .arg(QLatin1String(kNamePrefix))
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QDateTime::currentMSecsSinceEpoch())
                                 .arg(attempt)
                                 .arg(QLatin1String(kNameSuffix)));
        fd_ = ::open(QFile::encodeName(path_).constData(),
                     O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) {
        error_ = QStringLiteral("%1: %2").arg(path_, systemErrorText(errno));
        path_.clear();
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error_ = QStringLiteral("%1: %2").arg(path_, systemErrorText(errno));
        ::close(fd_);
        fd_ = -1;
        QFile::remove(path_);
        path_.clear();
        return false;
    }
    failed_ = false;
    rows_ = 0;
    writeAll(kHeader, kHeaderSize);
    if (failed_) {
        ::close(fd_);
        fd_ = -1;
        QFile::remove(path_);
        path_.clear();
        return false;
    }
    startSyncThread();
    return true;
}

void LogJournal::fail(const QString& reason) {
    if (failed_) {
        return;
    }
    failed_ = true;
    error_ = QStringLiteral("%1: %2").arg(path_, reason);
    if (onFailure) {
        onFailure(error_);
    }
}

void LogJournal::writeAll(const char* data, qsizetype size) {
    while (size > 0 && !failed_) {
        const ssize_t n = fs_.write(fd_, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // No progress without a reason is taken for an I/O error, so
            // the loop cannot spin.
            fail(systemErrorText(n < 0 && errno != 0 ? errno : EIO));
            return;
        }
        data += n;
        size -= n;
    }
    std::lock_guard lock(m_);
    if (!dirty_) {
        dirty_ = true;
        cv_.notify_one();
    }
}

void LogJournal::append(const LogRecord& row, const QDateTime& when) {
    if (fd_ < 0 || failed_ || rows_ >= kMaxRows) {
        return;
    }
    const QByteArray line = rowLine(row, when);
    writeAll(line.constData(), line.size());
    ++rows_;
}

void LogJournal::carryOver(const Leftover& leftover) {
    if (fd_ < 0 || failed_ || leftover.fd < 0) {
        return;
    }
    std::vector<char> buffer(1 << 20);
    for (qint64 at = kHeaderSize; at < leftover.linesEnd && !failed_;) {
        const auto want = static_cast<std::size_t>(
            std::min<qint64>(static_cast<qint64>(buffer.size()), leftover.linesEnd - at));
        const ssize_t n = ::pread(leftover.fd, buffer.data(), want, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            fail(QStringLiteral("%1: %2").arg(leftover.path,
                                              n < 0 ? systemErrorText(errno)
                                                    : QStringLiteral("途中で終わっています")));
            return;
        }
        writeAll(buffer.data(), n);
        at += n;
    }
    rows_ += leftover.rows.rowCount();
}

void LogJournal::clear() {
    if (fd_ < 0 || failed_) {
        return;
    }
    if (::ftruncate(fd_, kHeaderSize) != 0) {
        fail(systemErrorText(errno));
        return;
    }
    rows_ = 0;
    std::lock_guard lock(m_);
    dirty_ = true;
    cv_.notify_one();
}

void LogJournal::finish() {
    if (fd_ < 0) {
        return;
    }
    stopSyncThread();
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
    fd_ = -1;
}

void LogJournal::startSyncThread() {
    stop_ = false;
    dirty_ = false;
    sync_ = std::thread([this] { syncLoop(); });
}

void LogJournal::stopSyncThread() {
    if (!sync_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(m_);
        stop_ = true;
        cv_.notify_one();
    }
    sync_.join();
}

// Flushes what was written to the disk, at once after a quiet spell and then
// at most once a second while rows keep coming.
void LogJournal::syncLoop() {
    std::unique_lock lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return dirty_ || stop_; });
        if (dirty_) {
            dirty_ = false;
            lock.unlock();
            ::fdatasync(fd_);
            lock.lock();
        }
        if (stop_) {
            if (!dirty_) {
                return;
            }
            continue; // rows written since: flushed before the end
        }
        cv_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
    }
}

// ----- Leftovers ----------------------------------------------------------

LogJournalLeftover::LogJournalLeftover(LogJournalLeftover&& other) noexcept
    : path(std::move(other.path)), inUse(other.inUse), damaged(other.damaged),
      reason(std::move(other.reason)), rows(std::move(other.rows)), dates(std::move(other.dates)),
      moments(std::move(other.moments)), linesEnd(other.linesEnd), fd(other.fd) {
    other.fd = -1;
}

LogJournalLeftover& LogJournalLeftover::operator=(LogJournalLeftover&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) {
            ::close(fd);
        }
        path = std::move(other.path);
        inUse = other.inUse;
        damaged = other.damaged;
        reason = std::move(other.reason);
        rows = std::move(other.rows);
        dates = std::move(other.dates);
        moments = std::move(other.moments);
        linesEnd = other.linesEnd;
        fd = other.fd;
        other.fd = -1;
    }
    return *this;
}

LogJournalLeftover::~LogJournalLeftover() {
    if (fd >= 0) {
        ::close(fd);
    }
}

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
    l.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (l.fd < 0) {
        return damaged(systemErrorText(errno));
    }
    if (::flock(l.fd, LOCK_EX | LOCK_NB) != 0) {
        l.inUse = errno == EWOULDBLOCK;
        if (l.inUse) {
            ::close(l.fd);
            l.fd = -1;
            return l;
        }
        return damaged(systemErrorText(errno));
    }
    struct stat st {};
    if (::fstat(l.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return damaged(notRegularFileText());
    }

    QByteArray pending; // bytes of a line not yet ended
    qint64 offset = 0;  // of the first byte of `pending`
    bool header = false;
    bool inZeros = false; // only zero bytes may follow
    std::vector<char> buffer(1 << 20);
    try {
        for (;;) {
            const ssize_t n = ::read(l.fd, buffer.data(), buffer.size());
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
                l.linesEnd = offset + from;
            }
            offset += from;
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

std::vector<LogJournal::Leftover> LogJournal::leftovers() const {
    const QDir dir(directory_);
    const QStringList names =
        dir.entryList({QLatin1String(kNamePrefix) + QLatin1Char('*') + QLatin1String(kNameSuffix)},
                      QDir::Files | QDir::System | QDir::Hidden, QDir::Time | QDir::Reversed);
    std::vector<Leftover> found;
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (path == path_) {
            continue;
        }
        Leftover l = read(path);
        if (!l.inUse) {
            found.push_back(std::move(l));
        }
    }
    return found;
}

QString LogJournal::setAside(Leftover& leftover) {
    const QString aside = damagedName(leftover.path);
    const bool moved = ::rename(QFile::encodeName(leftover.path).constData(),
                                QFile::encodeName(aside).constData()) == 0;
    if (leftover.fd >= 0) {
        ::close(leftover.fd);
        leftover.fd = -1;
    }
    return moved ? aside : leftover.path;
}

QString LogJournal::nameSuffix() {
    return QLatin1String(kNameSuffix);
}

void LogJournal::discard(Leftover& leftover) {
    ::unlink(QFile::encodeName(leftover.path).constData());
    if (leftover.fd >= 0) {
        ::close(leftover.fd);
        leftover.fd = -1;
    }
}

} // namespace velkor
