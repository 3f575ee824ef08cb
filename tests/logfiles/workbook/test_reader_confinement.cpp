// The confinement of the child that reads legacy workbooks: what reading
// the file and writing the pipe need still works, anything else ends the
// child at once; while the workbook is being opened files may be opened for
// reading, afterwards none at all.
#include "logfiles/workbook/ReaderConfinement.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velkor;

namespace {

struct CallCase {
    const char* name;
    // Runs in the confined child; its exit code is the child's.
    int (*call)(int inputFd, int pipeFd);
    bool allowedWhileOpening;
    bool allowedWhileReading;
};

void PrintTo(const CallCase& c, std::ostream* os) {
    *os << c.name;
}

class ReaderConfinementCalls : public ::testing::TestWithParam<CallCase> {};

// Runs the case's call in a child confined up to the given stage and checks
// whether it ran to its end or was killed by the filter.
void expectCall(const CallCase& c, bool reading, bool allowed) {
    SCOPED_TRACE(reading ? "while reading" : "while opening");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int input = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(input, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        ReaderConfinement confinement;
        if (!confinement.forOpening() || (reading && !confinement.forReading())) {
            ::_exit(100);
        }
        ::_exit(c.call(input, fds[1]));
    }
    ::close(fds[1]);
    ::close(input);
    char buf[16];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (allowed) {
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(n, 2);
    } else {
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), SIGSYS);
        EXPECT_EQ(n, 0) << "nothing after the forbidden call runs";
    }
}

TEST_P(ReaderConfinementCalls, OnlyWhatEachStageNeedsIsAllowed) {
    expectCall(GetParam(), false, GetParam().allowedWhileOpening);
    expectCall(GetParam(), true, GetParam().allowedWhileReading);
}

int ok(int out) {
    return ::write(out, "ok", 2) == 2 ? 0 : 3;
}

int readSeekAllocateAndWrite(int in, int out) {
    char b[4];
    if (::read(in, b, 4) != 4 || ::lseek(in, 0, SEEK_SET) != 0) {
        return 1;
    }
    void* big = std::malloc(64 << 20); // from mmap
    void* small = std::malloc(64);     // from the heap
    if (!big || !small) {
        return 2;
    }
    std::free(big);
    std::free(small);
    return ok(out);
}

int openForReading(int, int out) {
    const int fd = ::open("/etc/hostname", O_RDONLY | O_CLOEXEC);
    return fd < 0 ? 1 : ok(out);
}

int openForWriting(int, int out) {
    const std::string name = testing::TempDir() + "/confined-" + std::to_string(::getpid());
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ::unlink(name.c_str());
    return fd < 0 ? 1 : ok(out);
}

int openASocket(int, int out) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    return fd < 0 ? 1 : ok(out);
}

int startAProgram(int, int out) {
    char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
    ::execv("/bin/true", argv);
    return ok(out);
}

int mapExecutableMemory(int, int out) {
    void* p = ::mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? 1 : ok(out);
}

int makeMemoryExecutable(int, int out) {
    void* p = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        return 1;
    }
    return ::mprotect(p, 4096, PROT_READ | PROT_EXEC) != 0 ? 2 : ok(out);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ReaderConfinementCalls,
    ::testing::Values(CallCase{"ReadSeekAllocateWrite", readSeekAllocateAndWrite, true, true},
                      CallCase{"OpenForReading", openForReading, true, false},
                      CallCase{"OpenForWriting", openForWriting, false, false},
                      CallCase{"OpenASocket", openASocket, false, false},
                      CallCase{"StartAProgram", startAProgram, false, false},
                      CallCase{"MapExecutableMemory", mapExecutableMemory, false, false},
                      CallCase{"MakeMemoryExecutable", makeMemoryExecutable, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
