#include "record/files/ReaderConfinement.h"

#include <initializer_list>
#include <seccomp.h>
#include <sys/prctl.h>

namespace velkor {

bool confineReader() {
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return false;
    }
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!ctx) {
        return false;
    }
    static const int allowed[] = {
        // The open file and the pipe.
        SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(write), SCMP_SYS(writev),
        SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(statx), SCMP_SYS(close),
        // The allocator.
        SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
        // Signals and the end.
        SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask), SCMP_SYS(exit), SCMP_SYS(exit_group),
        // Time, for the library's date conversions.
        SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday)};
    bool ok = true;
    for (const int call : allowed) {
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0;
    }
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer's own bookkeeping in the checked builds.
    for (const int call :
         {SCMP_SYS(sigaltstack), SCMP_SYS(rt_sigaction), SCMP_SYS(getpid), SCMP_SYS(gettid),
          SCMP_SYS(sched_yield), SCMP_SYS(mprotect), SCMP_SYS(futex)}) {
        ok = ok && seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0;
    }
#endif
    ok = ok && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return ok;
}

} // namespace velkor
