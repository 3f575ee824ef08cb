// The confinement of the child that reads legacy workbooks: what reading
// the open file and writing the pipe need still works, anything else ends
// the child at once.
#include "record/files/ReaderConfinement.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velkor;

namespace {

struct CallCase {
    const char* name;
    // Runs in the confined child; its exit code is the child's.
    int (*call)(int inputFd, int pipeFd);
    bool allowed;
};

void PrintTo(const CallCase& c, std::ostream* os) {
    *os << c.name;
}

class ReaderConfinement : public ::testing::TestWithParam<CallCase> {};

TEST_P(ReaderConfinement, OnlyWhatReadingNeedsIsAllowed) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int input = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(input, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        if (!confineReader()) {
            ::_exit(100);
        }
        ::_exit(GetParam().call(input, fds[1]));
    }
    ::close(fds[1]);
    ::close(input);
    char buf[16];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (GetParam().allowed) {
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(n, 2);
    } else {
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), SIGSYS);
        EXPECT_EQ(n, 0) << "nothing after the forbidden call runs";
    }
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
    return ::write(out, "ok", 2) == 2 ? 0 : 3;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ReaderConfinement,
    ::testing::Values(CallCase{"ReadSeekAllocateWrite", readSeekAllocateAndWrite, true},
                      CallCase{"OpenAnotherFile",
                               [](int, int out) {
                                   const int fd = ::open("/etc/hostname", O_RDONLY);
                                   return static_cast<int>(::write(out, "x", 1)) + fd;
                               },
                               false},
                      CallCase{"OpenASocket",
                               [](int, int out) {
                                   const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                                   return static_cast<int>(::write(out, "x", 1)) + fd;
                               },
                               false},
                      CallCase{"StartAProgram",
                               [](int, int out) {
                                   char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
                                   ::execv("/bin/true", argv);
                                   return static_cast<int>(::write(out, "x", 1));
                               },
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
