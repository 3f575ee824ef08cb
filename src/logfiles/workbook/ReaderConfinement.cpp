#include "logfiles/workbook/ReaderConfinement.h"
#include "logfiles/workbook/SanitizedBuild.h"

#include <fcntl.h>
#include <initializer_list>
#include <linux/seccomp.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>

namespace velkor {

namespace {

bool allow(scmp_filter_ctx ctx, std::initializer_list<int> calls) {
    for (const int call : calls) {
        if (seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) != 0) {
            return false;
        }
    }
    return true;
}

// What both stages allow: the open descriptors, memory that is never
// executable, signals and the end.
scmp_filter_ctx baseFilter() {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!ctx) {
        return nullptr;
    }
    const scmp_datum_t exec = PROT_EXEC;
    bool ok = allow(ctx, {// The open file and the pipe.
                          SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(write),
                          SCMP_SYS(writev), SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(newfstatat),
                          SCMP_SYS(statx), SCMP_SYS(close),
                          // The allocator.
                          SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
                          // Signals and the end.
                          SCMP_SYS(rt_sigreturn), SCMP_SYS(rt_sigprocmask), SCMP_SYS(exit),
                          SCMP_SYS(exit_group),
                          // Time, for the library's date conversions.
                          SCMP_SYS(clock_gettime), SCMP_SYS(gettimeofday)});
    // Memory, but nothing that could run as code.
    ok = ok &&
         seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1,
                          SCMP_A2(SCMP_CMP_MASKED_EQ, exec, 0)) == 0 &&
         seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(mprotect), 1,
                          SCMP_A2(SCMP_CMP_MASKED_EQ, exec, 0)) == 0;
#if defined(VELKOR_ADDRESS_SANITIZER)
    // The address sanitizer's own bookkeeping in the checked builds.
    ok = ok && allow(ctx, {SCMP_SYS(sigaltstack), SCMP_SYS(rt_sigaction), SCMP_SYS(getpid),
                           SCMP_SYS(gettid), SCMP_SYS(sched_yield), SCMP_SYS(futex)});
#endif
    if (!ok) {
        seccomp_release(ctx);
        return nullptr;
    }
    return ctx;
}

scmp_filter_ctx openingFilter() {
    scmp_filter_ctx ctx = baseFilter();
    if (!ctx) {
        return nullptr;
    }
    // Files opened for reading only: no writing, no creating, no truncating.
    const scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC;
    const bool ok = seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                                     SCMP_A2(SCMP_CMP_MASKED_EQ, writing, 0)) == 0 &&
                    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(open), 1,
                                     SCMP_A1(SCMP_CMP_MASKED_EQ, writing, 0)) == 0 &&
                    // Loading the second filter, which can only take more away.
                    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(seccomp), 1,
                                     SCMP_A0(SCMP_CMP_EQ, SECCOMP_SET_MODE_FILTER, 0)) == 0 &&
                    seccomp_rule_add(ctx, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                                     SCMP_A0(SCMP_CMP_EQ, PR_SET_NO_NEW_PRIVS, 0)) == 0;
    if (!ok) {
        seccomp_release(ctx);
        return nullptr;
    }
    return ctx;
}

bool load(void* filter) {
    return filter && seccomp_load(static_cast<scmp_filter_ctx>(filter)) == 0;
}

} // namespace

ReaderConfinement::ReaderConfinement() : opening_(openingFilter()), reading_(baseFilter()) {}

ReaderConfinement::~ReaderConfinement() {
    for (void* filter : {opening_, reading_}) {
        if (filter) {
            seccomp_release(static_cast<scmp_filter_ctx>(filter));
        }
    }
}

bool ReaderConfinement::forOpening() {
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && load(opening_);
}

bool ReaderConfinement::forReading() {
    return load(reading_);
}

} // namespace velkor
