#pragma once

#include "http/RequestParse.h"

#include <QByteArray>
#include <cstdint>
#include <microhttpd.h>
#include <sys/types.h>

namespace velkor::http {

class ServerCore;

// A body that libmicrohttpd asks for piece by piece, made from the rows
// held as it goes, so that a long answer costs a connection only a piece
// at a time.
class PieceBody {
public:
    virtual ~PieceBody() = default;
    // The response that reads this body and deletes it when done.
    MHD_Response* response();

protected:
    // Fills pending_ with the next piece; leaves it empty when there is
    // nothing now.
    virtual void fill() = 0;
    // What to answer when there is nothing now: the end, or 0 after
    // suspending the connection until there is.
    virtual ssize_t nothingNow() = 0;

    QByteArray pending_;

private:
    static ssize_t read(void* self, uint64_t position, char* buffer, size_t max);
    static void release(void* self);

    qsizetype at_ = 0;
};

// /events: the readings, the status and the end of the run as Server-Sent
// Events. It waits with its connection suspended while there is nothing
// to send; ServerCore resumes it when there is.
class EventStream final : public PieceBody {
public:
    EventStream(ServerCore& core, MHD_Connection* connection, const StreamStart& start);
    ~EventStream() override;

    // Resumes the connection if it waits; `keepAlive`: say something even
    // when there is nothing new.
    void wake(bool keepAlive);

private:
    void fill() override;
    ssize_t nothingNow() override;

    ServerCore& core_;
    MHD_Connection* const connection_;
    qint64 lastSent_;
    std::uint64_t statusSent_ = 0;
    bool parked_ = false;
    bool keepAliveDue_ = false;
    bool endSent_ = false;
};

// /api/readings (a JSON array) and /api/log.csv (the log's CSV): the rows
// held from one number to another, as they were when the request came.
// Rows that leave the held rows meanwhile are skipped.
class RowsBody final : public PieceBody {
public:
    enum class Form { Json, Csv };
    RowsBody(ServerCore& core, Form form, qint64 after, qint64 upTo);

private:
    void fill() override;
    ssize_t nothingNow() override { return MHD_CONTENT_READER_END_OF_STREAM; }

    ServerCore& core_;
    const Form form_;
    qint64 after_;
    const qint64 upTo_;
    bool started_ = false;
    bool finished_ = false;
    bool first_ = true;
};

} // namespace velkor::http
