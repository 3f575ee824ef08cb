#pragma once

#include "platform/Clock.h"
#include "platform/linux/PseudoTerminal.h"
#include "link/serial/TCommPortDriver.h"
#include "support/FaultySerialSystem.h"
#include "support/FixedClock.h"
#include "platform/linux/ComPortNames.h"
#include "support/QStringPrinting.h"

#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <vector>

namespace velkor::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes queued for reading on a terminal handle.
inline int queuedAt(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

// Waits until at least n bytes are queued for reading on fd.
inline bool waitQueued(int fd, int n, int timeoutMs = 3000) {
    QElapsedTimer t;
    t.start();
    while (queuedAt(fd) < n) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QThread::usleep(500);
    }
    return true;
}

// A pseudo-terminal line and a driver on the faulty system calls, with a
// clock the test moves.
class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.open()) << line.errorText().toStdString();
        port.setDevicePath(line.slavePath());
        port.setOnReceiveData([this](TCommPortDriver* sender, const std::uint8_t* p, std::int32_t n) {
            EXPECT_EQ(sender, &port);
            chunks.emplace_back(p, p + n);
        });
    }

    // What the meter sends, as it arrives at the driver's port.
    void meterSends(const Bytes& b) {
        const int before = queuedAt(port.ComHandle());
        ASSERT_TRUE(line.send(b.data(), b.size()));
        ASSERT_TRUE(waitQueued(port.ComHandle(), before + static_cast<int>(std::min<std::size_t>(b.size(), 2048))));
    }

    Bytes received() const {
        Bytes all;
        for (const auto& c : chunks) {
            all.insert(all.end(), c.begin(), c.end());
        }
        return all;
    }

    PseudoTerminal line;
    FaultySerialSystem sys;
    FixedClock clock;
    ComPortNames names;
    TCommPortDriver port{sys, clock, names};
    std::vector<Bytes> chunks;
};

inline Bytes countingBytes(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return b;
}

} // namespace velkor::test
