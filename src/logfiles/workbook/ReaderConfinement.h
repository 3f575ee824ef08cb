#pragma once

namespace velkor {

// Confines the calling process, a child that reads one workbook and writes
// what it found to a pipe, in two stages. Both filters are built when the
// object is made, so that loading them later needs no more than the
// seccomp call itself.
//
// forOpening(): the process gets no new privileges (no set-user-id program
// can raise them again) and may only read, seek and write descriptors it
// has, take memory for the allocator, open files for reading and leave.
// Opening a file for writing, making a socket, starting a program, or
// mapping executable memory kills it at once.
//
// forReading(): once the workbook is open, opening any file kills it too.
//
// Each returns false when its filter could not be installed; the caller
// should then give up rather than read unconfined.
class ReaderConfinement {
public:
    ReaderConfinement();
    ~ReaderConfinement();
    ReaderConfinement(const ReaderConfinement&) = delete;
    ReaderConfinement& operator=(const ReaderConfinement&) = delete;

    bool forOpening();
    bool forReading();

private:
    void* opening_ = nullptr;
    void* reading_ = nullptr;
};

} // namespace velkor
