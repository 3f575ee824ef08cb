// The first worksheet of a binary .xls workbook (BIFF in an OLE2 compound
// file), read through FreeXL. FreeXL is not safe against every damaged
// file (a broken string record can make it write outside its buffers), so
// it runs in a child process with limits on memory and time, and sends the
// cells back through a pipe; a child that crashes or hangs costs nothing
// but a message. The child is confined before FreeXL sees a byte of the
// file: while FreeXL opens and parses it, the child may open files only for
// reading; once it is open, no file at all (ReaderConfinement). FreeXL hands dates and
// times as texts; they become date-time serials again here, so that both
// workbook formats give the same cells.
#include "logfiles/workbook/ReaderConfinement.h"
#include "logfiles/workbook/SanitizedBuild.h"
#include "logfiles/workbook/WorkbookSheet.h"
#include "platform/posix/SystemErrorText.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <freexl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velkor {

namespace {

QString freexlErrorText(int code) {
    switch (code) {
    case FREEXL_FILE_NOT_FOUND: return QStringLiteral("ファイルがありません");
    case FREEXL_INSUFFICIENT_MEMORY: return QStringLiteral("メモリが足りません");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
    case FREEXL_INVALID_MINI_STREAM:
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return QStringLiteral("Excel 97-2003 形式のファイルが壊れています (複合ファイル)");
    case FREEXL_BIFF_INVALID_BOF:
    case FREEXL_BIFF_INVALID_SST:
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
    case FREEXL_ILLEGAL_RK_VALUE:
        return QStringLiteral("Excel 97-2003 形式のファイルが壊れています (ワークブック)");
    case FREEXL_BIFF_ILLEGAL_SHEET_INDEX: return QStringLiteral("ワークシートがありません");
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET: return QStringLiteral("文字コードを変換できません");
    case FREEXL_CRAFTED_FILE: return QStringLiteral("ファイルが壊れているか、細工されています");
    default: return QStringLiteral("Excel 97-2003 形式として読めません (FreeXL %1)").arg(code);
    }
}

// FreeXL's "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and "HH:MM:SS" as serials.
bool dateTextSerial(int type, const char* text, double* serial) {
    const QString s = QString::fromUtf8(text);
    static const QDate epoch(1899, 12, 30);
    if (type == FREEXL_CELL_TIME) {
        const QTime t = QTime::fromString(s, QStringLiteral("HH:mm:ss"));
        *serial = t.msecsSinceStartOfDay() / 86400000.0;
        return t.isValid();
    }
    const QDateTime dt = type == FREEXL_CELL_DATE
                             ? QDateTime(QDate::fromString(s, Qt::ISODate), QTime(0, 0))
                             : QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid()) {
        return false;
    }
    *serial = static_cast<double>(epoch.daysTo(dt.date())) +
              dt.time().msecsSinceStartOfDay() / 86400000.0;
    return true;
}

// ---- The child: FreeXL's reading, sent as records -------------------------
//
//   'C' u32 row, u16 column, u8 FreeXL cell type, then
//       f64 for numbers, or u32 length and UTF-8 bytes for texts and dates
//   'E' i32 FreeXL error code, or kNoSheet / kPassword
//   'Z' the end of the sheet

constexpr std::int32_t kNoSheet = -1000;
constexpr std::int32_t kPassword = -1001;
constexpr std::size_t kMaxTextBytes = 1 << 20;
constexpr qint64 kMaxPipeBytes = qint64(1) << 30;
constexpr int kChildSeconds = 60;

class RecordWriter {
public:
    explicit RecordWriter(int fd) : fd_(fd) {}
    ~RecordWriter() { flush(); }

    void put(const void* data, std::size_t n) {
        if (used_ + n > sizeof buf_) {
            flush();
        }
        if (n > sizeof buf_) {
            writeAll(static_cast<const char*>(data), n);
            return;
        }
        std::memcpy(buf_ + used_, data, n);
        used_ += n;
    }
    template <typename T> void value(T v) { put(&v, sizeof v); }
    void flush() {
        writeAll(buf_, used_);
        used_ = 0;
    }

private:
    void writeAll(const char* p, std::size_t n) {
        while (n > 0) {
            const ssize_t w = ::write(fd_, p, n);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                _exit(3);
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
    }

    int fd_;
    char buf_[1 << 16];
    std::size_t used_ = 0;
};

int sendFailure(RecordWriter& out, std::int32_t code) {
    out.value('E');
    out.value(code);
    return 0;
}

// The code pages FreeXL converts a workbook's texts from. Their converters
// are loaded before the child is confined, which then forbids mapping new
// code, and kept open so that they stay loaded.
void loadTextConverters() {
    static const char* const codePages[] = {
        "CP437",  "CP720",  "CP737",  "CP775",  "CP850",    "CP852",    "CP855",
        "CP857",  "CP858",  "CP860",  "CP861",  "CP862",    "CP863",    "CP864",
        "CP865",  "CP866",  "CP869",  "CP874",  "CP932",    "CP936",    "CP949",
        "CP950",  "CP1250", "CP1251", "CP1252", "CP1253",   "CP1254",   "CP1255",
        "CP1256", "CP1257", "CP1258", "CP1361", "MacRoman", "UTF-16LE", "ASCII"};
    for (const char* codePage : codePages) {
        (void)iconv_open("UTF-8", codePage);
    }
}

// Reads the sheet with FreeXL and writes it to `fd`. Runs in the child.
int sendXlsCells(const char* path, int fd) {
    RecordWriter out(fd);
    ReaderConfinement confinement;
    loadTextConverters();
    if (!confinement.forOpening()) {
        return 4;
    }
    const void* h = nullptr;
    int rc = freexl_open(path, &h);
    if (rc != FREEXL_OK) {
        return sendFailure(out, rc);
    }
    // The file is open and read: from here on the child may only hand over
    // what it read.
    if (!confinement.forReading()) {
        return 4;
    }
    unsigned int info = 0;
    if (freexl_get_info(h, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
        return sendFailure(out, kPassword);
    }
    if (freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0) {
        return sendFailure(out, kNoSheet);
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    if ((rc = freexl_select_active_worksheet(h, 0)) != FREEXL_OK ||
        (rc = freexl_worksheet_dimensions(h, &rows, &columns)) != FREEXL_OK) {
        return sendFailure(out, rc);
    }
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue v;
            if ((rc = freexl_get_cell_value(h, r, c, &v)) != FREEXL_OK) {
                return sendFailure(out, rc);
            }
            if (v.type == FREEXL_CELL_NULL) {
                continue;
            }
            out.value('C');
            out.value(static_cast<std::uint32_t>(r));
            out.value(static_cast<std::uint16_t>(c));
            out.value(static_cast<std::uint8_t>(v.type - FREEXL_CELL_NULL));
            if (v.type == FREEXL_CELL_INT) {
                out.value(static_cast<double>(v.value.int_value));
            } else if (v.type == FREEXL_CELL_DOUBLE) {
                out.value(v.value.double_value);
            } else {
                const char* t = v.value.text_value ? v.value.text_value : "";
                const std::size_t n = std::min(std::strlen(t), kMaxTextBytes);
                out.value(static_cast<std::uint32_t>(n));
                out.put(t, n);
            }
        }
    }
    freexl_close(h);
    out.value('Z');
    return 0;
}

// Limits for the child: no core file, a minute of processor time, and (but
// under the address sanitizer, which reserves vast address space) a gigabyte
// more address space than the program already has.
void limitChild() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    rlimit cpu{kChildSeconds, kChildSeconds};
    setrlimit(RLIMIT_CPU, &cpu);
#if !defined(VELKOR_ADDRESS_SANITIZER)
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) {
            pages = 0;
        }
        std::fclose(f);
    }
    if (pages > 0) {
        const rlim_t bytes =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
            (rlim_t(1) << 30);
        rlimit as{bytes, bytes};
        setrlimit(RLIMIT_AS, &as);
    }
#endif
}

// ---- The parent: the records as cells ---------------------------------------

class RecordReader {
public:
    explicit RecordReader(int fd) : fd_(fd) { timer_.start(); }

    // Reads exactly n bytes; false at the end of the pipe, on a timeout or
    // when the child sends more than any sheet holds.
    bool get(void* data, std::size_t n) {
        char* p = static_cast<char*>(data);
        while (n > 0) {
            if (pos_ == buf_.size()) {
                if (!fill()) {
                    return false;
                }
            }
            const std::size_t k = std::min(n, buf_.size() - pos_);
            std::memcpy(p, buf_.data() + pos_, k);
            pos_ += k;
            p += k;
            n -= k;
        }
        return true;
    }
    template <typename T> bool value(T* v) { return get(v, sizeof *v); }
    bool timedOut() const { return timedOut_; }

private:
    bool fill() {
        buf_.resize(1 << 16);
        pos_ = 0;
        for (;;) {
            const qint64 left = kChildSeconds * 1000 - timer_.elapsed();
            if (left <= 0) {
                timedOut_ = true;
                return false;
            }
            pollfd pfd{fd_, POLLIN, 0};
            const int pr = ::poll(&pfd, 1, static_cast<int>(left));
            if (pr < 0 && errno == EINTR) {
                continue;
            }
            if (pr == 0) {
                timedOut_ = true;
                return false;
            }
            const ssize_t n = ::read(fd_, buf_.data(), buf_.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                buf_.clear();
                return false;
            }
            total_ += n;
            if (total_ > kMaxPipeBytes) {
                return false;
            }
            buf_.resize(static_cast<std::size_t>(n));
            return true;
        }
    }

    int fd_;
    std::vector<char> buf_;
    std::size_t pos_ = 0;
    qint64 total_ = 0;
    QElapsedTimer timer_;
    bool timedOut_ = false;
};

// Turns the child's records into cells for the sink.
LogFileResult receiveCells(RecordReader& in, SheetCellSink& sink, bool* finished) {
    sink.start(false); // FreeXL has applied the workbook's date system
    for (;;) {
        char tag = 0;
        if (!in.value(&tag)) {
            return LogFileResult::success(); // judged by the caller from the child's end
        }
        if (tag == 'Z') {
            *finished = true;
            return LogFileResult::success();
        }
        if (tag == 'E') {
            std::int32_t code = 0;
            if (!in.value(&code)) {
                return LogFileResult::success();
            }
            *finished = true;
            if (code == kPassword) {
                return LogFileResult::failure(QStringLiteral("パスワードで保護されています"));
            }
            if (code == kNoSheet) {
                return LogFileResult::failure(QStringLiteral("ワークシートがありません"));
            }
            return LogFileResult::failure(freexlErrorText(code));
        }
        std::uint32_t row = 0;
        std::uint16_t column = 0;
        std::uint8_t type = 0;
        if (tag != 'C' || !in.value(&row) || !in.value(&column) || !in.value(&type)) {
            return LogFileResult::success();
        }
        const int freexlType = FREEXL_CELL_NULL + type;
        SheetCell cell;
        if (freexlType == FREEXL_CELL_INT || freexlType == FREEXL_CELL_DOUBLE) {
            double v = 0;
            if (!in.value(&v)) {
                return LogFileResult::success();
            }
            cell = SheetCell::ofNumber(v);
        } else {
            std::uint32_t n = 0;
            if (!in.value(&n) || n > kMaxTextBytes) {
                return LogFileResult::success();
            }
            QByteArray text(static_cast<qsizetype>(n), Qt::Uninitialized);
            if (!in.get(text.data(), n)) {
                return LogFileResult::success();
            }
            if (freexlType == FREEXL_CELL_TEXT || freexlType == FREEXL_CELL_SST_TEXT) {
                cell = SheetCell::ofText(QString::fromUtf8(text));
            } else {
                double serial = 0;
                if (!dateTextSerial(freexlType, text.constData(), &serial)) {
                    return LogFileResult::failure(
                        QStringLiteral("日付 %1 が読めません").arg(QString::fromUtf8(text)));
                }
                cell = SheetCell::ofNumber(serial, true);
            }
        }
        if (row >= static_cast<std::uint32_t>(kMaxSheetRows)) {
            return LogFileResult::failure(QStringLiteral("行が多すぎます"));
        }
        sink.cell(static_cast<int>(row) + 1, column + 1, cell);
    }
}

} // namespace

LogFileResult readBinaryXlsSheet(const QString& fileName, SheetCellSink& sink) {
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        return LogFileResult::failure(QStringLiteral("ファイルがありません"));
    }
    if (info.size() > kMaxXlsFileBytes) {
        return LogFileResult::failure(
            QStringLiteral("ファイルが大きすぎます (上限 %1 MB)").arg(kMaxXlsFileBytes >> 20));
    }
    const QByteArray path = QFile::encodeName(fileName);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return LogFileResult::failure(systemErrorText(errno));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int e = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return LogFileResult::failure(systemErrorText(e));
    }
    if (child == 0) {
        ::close(fds[0]);
        limitChild();
        _exit(sendXlsCells(path.constData(), fds[1]));
    }
    ::close(fds[1]);

    bool finished = false;
    LogFileResult r;
    bool timedOut = false;
    {
        RecordReader in(fds[0]);
        try {
            r = receiveCells(in, sink, &finished);
        } catch (...) {
            ::kill(child, SIGKILL);
            ::close(fds[0]);
            ::waitpid(child, nullptr, 0);
            throw;
        }
        timedOut = in.timedOut();
    }
    if (!finished) {
        ::kill(child, SIGKILL);
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!r) {
        return r;
    }
    if (timedOut) {
        return LogFileResult::failure(
            QStringLiteral("読み込みに時間がかかりすぎます (%1 秒)").arg(kChildSeconds));
    }
    if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return LogFileResult::failure(
            QStringLiteral("Excel 97-2003 形式のファイルが壊れていて読めません"));
    }
    return r;
}

} // namespace velkor
