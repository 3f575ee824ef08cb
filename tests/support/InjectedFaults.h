#pragma once

#include <cerrno>
#include <deque>
#include <map>

namespace velkor::test {

// The failures a substitute for a system interface injects, per operation:
// after `after` calls that reach the system, the next `times` calls of the
// operation fail with an errno (times < 0: every call). Counts every call.
template <class Op> class InjectedFaults {
public:
    void add(Op op, int code, int times, int after) { faults_[op].push_back({code, times, after}); }
    void clear() { faults_.clear(); }

    // Counts a call of op; true, with errno set, when it is to fail.
    bool faulted(Op op) {
        ++calls[op];
        auto& q = faults_[op];
        if (q.empty()) {
            return false;
        }
        Fault& f = q.front();
        if (f.after > 0) {
            --f.after;
            return false;
        }
        errno = f.code;
        if (f.times > 0 && --f.times == 0) {
            q.pop_front();
        }
        return true;
    }

    // The calls made of each operation, failed ones included.
    std::map<Op, int> calls;

private:
    struct Fault {
        int code;
        int times;
        int after;
    };
    std::map<Op, std::deque<Fault>> faults_;
};

} // namespace velkor::test
