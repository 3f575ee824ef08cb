#pragma once

#include <QByteArray>
#include <QString>
#include <sqlite3.h>

namespace velkor::sqlite {

// How a log database is opened: to read it (a file from anywhere) or to
// append to it (a file the user named as the log's).
enum class OpenMode { Read, Write };

// One connection to a log file, opened with the settings for files from
// outside whoever wrote them: SQLite's defensive mode, no extension
// loading, functions in the file's schema limited to harmless ones
// (trusted_schema off), views and triggers switched off, cell sizes
// checked, no memory mapping, and small limits on what a statement or a
// value may be (a text or blob of more than 1 MiB, deep expressions,
// attached databases are refused). A reading connection is also read-only
// at the SQL level, and a work budget stops a statement that runs away.
class Database {
public:
    Database() = default;
    ~Database() { close(); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `fileName`. A file in write-ahead-log mode without its log
    // beside it (no writer has it open) is read as an unchanging file, so
    // that reading leaves no -wal or -shm file behind. False, with
    // errorText(), when it cannot be opened.
    bool open(const QString& fileName, OpenMode mode);
    void close();
    sqlite3* handle() const { return db_; }
    bool isOpen() const { return db_ != nullptr; }

    // Runs statements that give no rows; false when one fails.
    bool exec(const char* sql);
    // The last failure's code (extended) and text.
    int errorCode() const;
    QString errorText() const;
    // The last failure in words for the user: the system's reason when the
    // system refused something (no permission, a full disk), else SQLite's.
    QString failureText() const;
    // Whether the last failure was the work budget running out.
    bool budgetSpent() const { return spent_; }

    // The work statements may still do from now on, in steps of SQLite's
    // virtual machine; 0: no bound.
    void setWorkBudget(qint64 steps);

private:
    static int progress(void* self);

    sqlite3* db_ = nullptr;
    qint64 budgetCalls_ = 0; // progress calls left; <0: no bound
    bool spent_ = false;
};

// A prepared statement of a connection, finalized when it goes.
class Statement {
public:
    Statement(Database& db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    // SQLITE_ROW, SQLITE_DONE or the failure's code.
    int step() { return sqlite3_step(stmt_); }
    // Ready to run again, every binding cleared.
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    // Runs a statement without rows to its end; false when it fails.
    bool run() {
        const int rc = step();
        sqlite3_reset(stmt_);
        return rc == SQLITE_DONE;
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace velkor::sqlite
