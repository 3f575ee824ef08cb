#pragma once

#include "support/broker/ChildProcess.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace velkor::test {

// A free TCP port of 127.0.0.1 at the time of asking.
quint16 freeLoopbackPort();

// A real Mosquitto broker for one test: its own configuration in a
// temporary directory, one listener on a free port of 127.0.0.1, started
// and stopped by the test (killed at the end if still running).
class MosquittoBroker {
public:
    struct Options {
        bool persistence = false; // keep sessions and queued messages across a restart
        QString user;             // with a password: a password file, no anonymous clients
        QString password;
        QString caFile; // with certFile and keyFile: the listener speaks TLS
        QString certFile;
        QString keyFile;
    };

    MosquittoBroker();
    explicit MosquittoBroker(Options options);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts the broker (on the port of the last run, after stop()) and
    // returns once it accepts connections. Empty on success, else why
    // (with the broker's own output).
    QString start();
    // SIGTERM, and waits for the broker to end (it saves its state first
    // when persistent).
    void stop();
    // Stops a paused broker: SIGTERM while it is stopped, then SIGCONT, so
    // that it ends without reading what waits on its connections (it still
    // saves its state).
    void stopUnread();
    // SIGSTOP / SIGCONT: the broker holds its connections but answers
    // nothing.
    void pause();
    void resume();

    quint16 port() const { return port_; }
    QString directory() const { return dir_.path(); }
    QString output() const; // what the broker logged

private:
    QString writeConfig();
    bool acceptsConnections() const;

    Options options_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    std::unique_ptr<ChildProcess> process_;
    bool paused_ = false;
};

} // namespace velkor::test
