#pragma once

namespace velkor {

// Confines the calling process, a child that reads one file it has already
// opened and writes what it found to a pipe, to what that needs: reading
// and writing open descriptors, seeking, memory for the allocator, and
// leaving. It gets no new privileges (no set-user-id program can raise
// them again) and any other system call, opening a file or a socket,
// starting a program, kills it at once. False when the filter could not be
// installed; the caller should then give up rather than run unconfined.
bool confineReader();

} // namespace velkor
