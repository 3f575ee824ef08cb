#include "logfiles/sqlite/SqliteDatabase.h"

#include "platform/posix/SystemErrorText.h"

#include <QFile>
#include <QUrl>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace velkor::sqlite {

namespace {

// The progress handler runs every so many virtual machine steps.
constexpr int kProgressSteps = 1000;

// SQLite's memory in this process, all connections together: far above
// what a log needs (a small page cache and one row at a time), far below
// what would hurt the machine.
constexpr sqlite3_int64 kHeapLimit = sqlite3_int64(256) << 20;

void configureLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_hard_heap_limit64(kHeapLimit); });
}

// Whether the file's header says write-ahead-log mode (bytes 18 and 19
// are 2) while no log lies beside it. A file with its log beside it is not
// opened here at all: a writer of this process may hold it, and closing a
// descriptor of it would drop that writer's locks.
bool walModeWithoutLog(const QByteArray& path) {
    if (::access((path + "-wal").constData(), F_OK) == 0) {
        return false;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    unsigned char header[20];
    const ssize_t n = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    return n == static_cast<ssize_t>(sizeof header) && header[18] == 2 && header[19] == 2;
}

QByteArray immutableUri(const QByteArray& path) {
    return QByteArrayLiteral("file:") + path.toPercentEncoding("/") +
           QByteArrayLiteral("?immutable=1");
}

} // namespace

bool Database::open(const QString& fileName, OpenMode mode) {
    close();
    configureLibrary();
    const QByteArray path = QFile::encodeName(fileName);
    int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE | SQLITE_OPEN_EXRESCODE;
    QByteArray name = path;
    if (mode == OpenMode::Read) {
        flags |= SQLITE_OPEN_READONLY;
        if (walModeWithoutLog(path)) {
            name = immutableUri(path);
            flags |= SQLITE_OPEN_URI;
        }
    } else {
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    }
    const int rc = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        return false; // errorText() tells why; close() frees the handle
    }
    int unused = 0;
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_ENABLE_VIEW, 0, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, &unused);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, &unused);
    sqlite3_enable_load_extension(db_, 0);
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, 1 << 20);
    sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, 1 << 20);
    sqlite3_limit(db_, SQLITE_LIMIT_COLUMN, 100);
    sqlite3_limit(db_, SQLITE_LIMIT_EXPR_DEPTH, 50);
    sqlite3_limit(db_, SQLITE_LIMIT_COMPOUND_SELECT, 4);
    sqlite3_limit(db_, SQLITE_LIMIT_VDBE_OP, 25000);
    sqlite3_limit(db_, SQLITE_LIMIT_FUNCTION_ARG, 8);
    sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(db_, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 100);
    sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, 32);
    sqlite3_limit(db_, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    sqlite3_limit(db_, SQLITE_LIMIT_WORKER_THREADS, 0);
    sqlite3_progress_handler(db_, kProgressSteps, &Database::progress, this);
    budgetCalls_ = -1;
    return exec(mode == OpenMode::Read
                    ? "PRAGMA cell_size_check=ON; PRAGMA mmap_size=0; PRAGMA query_only=ON;"
                    : "PRAGMA cell_size_check=ON; PRAGMA mmap_size=0;");
}

void Database::close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

bool Database::exec(const char* sql) {
    spent_ = false;
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString Database::failureText() const {
    const int code = errorCode() & 0xFF;
    const int system = db_ ? sqlite3_system_errno(db_) : 0;
    if (system != 0 && (code == SQLITE_IOERR || code == SQLITE_CANTOPEN || code == SQLITE_FULL ||
                        code == SQLITE_READONLY || code == SQLITE_PERM)) {
        return systemErrorText(system);
    }
    if (code == SQLITE_FULL) {
        return systemErrorText(ENOSPC);
    }
    return errorText();
}

int Database::errorCode() const {
    return db_ ? sqlite3_extended_errcode(db_) : SQLITE_NOMEM;
}

QString Database::errorText() const {
    return QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(SQLITE_NOMEM));
}

void Database::setWorkBudget(qint64 steps) {
    budgetCalls_ = steps > 0 ? steps / kProgressSteps + 1 : -1;
    spent_ = false;
}

int Database::progress(void* self) {
    auto* db = static_cast<Database*>(self);
    if (db->budgetCalls_ < 0) {
        return 0;
    }
    if (db->budgetCalls_ == 0) {
        db->spent_ = true;
        return 1; // the statement ends with SQLITE_INTERRUPT
    }
    --db->budgetCalls_;
    return 0;
}

Statement::Statement(Database& db, const char* sql) {
    if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

} // namespace velkor::sqlite
