#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace velkor {

// A pseudo-terminal pair standing in for a serial line: what is written to
// the master arrives at the slave device (a path like /dev/pts/3) as if a
// meter had sent it, and the reverse. The slave is set to raw mode and kept
// open here as well, so that the line exists (and the master sees no hang-up)
// while no program has the device open.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a new pair. False with errorText() on failure.
    bool open();
    bool isOpen() const { return master_ >= 0; }
    const QString& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    const QString& errorText() const { return error_; }

    // Writes all bytes to the line. Bytes that nobody has read yet and that
    // no longer leave room are stale: they are discarded to make room, as a
    // real line does not keep what nobody listened to. False when the line
    // cannot be written at all.
    bool send(const std::uint8_t* data, std::size_t size);
    // Bytes sent that no reader has taken yet.
    int unread() const;
    // Waits up to timeoutMs for the reader to take every byte sent.
    bool drain(int timeoutMs) const;

    // Closes the master: the slave's users see the line hang up.
    void closeMaster();
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
};

} // namespace velkor
