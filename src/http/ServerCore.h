#pragma once

#include "http/Access.h"
#include "http/LiveServer.h"
#include "http/RowHandOff.h"
#include "http/ServerState.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <microhttpd.h>
#include <set>
#include <thread>

namespace velkor::http {

class EventStream;

// The server behind LiveServer. Everything below runs on the server's
// thread (libmicrohttpd in its external-polling mode, driven by run()),
// apart from the hand-off and the stop request.
class ServerCore {
public:
    explicit ServerCore(LiveServerOptions options);
    ~ServerCore();

    std::optional<QString> start();
    void stop(std::chrono::milliseconds grace);

    const LiveServerOptions options;
    RowHandOff handOff;
    quint16 port = 0;
    QStringList missingFiles;

    // The server's thread.
    ServerState state;
    AccessPolicy policy;
    std::set<EventStream*> streams;
    int connections = 0;
    bool ending = false;
    QByteArray chartScript;
    QByteArray chartStyle;
    QByteArray displayFont;

    // Request handling (ServerRoutes.cpp).
    MHD_Result answer(MHD_Connection* connection, const char* url, const char* method);

private:
    void run();
    // True when anything came.
    bool absorbHandOff();
    void wakeStreams(bool keepAlive);

    MHD_Daemon* daemon_ = nullptr;
    int epollFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::chrono::milliseconds grace_{0};
    std::vector<RowHandOff::Item> items_;
    bool stopped_ = false;
};

} // namespace velkor::http
