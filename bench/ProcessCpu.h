#pragma once

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace velkor::bench {

namespace detail {
// The sum of two clock-tick fields of /proc/PID/stat, in seconds; 0 when it
// cannot be read.
inline double statSeconds(pid_t pid, int first, int second) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    const std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // The fields after the command's closing parenthesis, from the third on.
    const auto close = s.rfind(')');
    if (close == std::string::npos || close + 2 > s.size()) {
        return 0;
    }
    std::istringstream rest(s.substr(close + 2));
    std::string field;
    unsigned long long sum = 0;
    for (int i = 3; i <= second && rest >> field; ++i) {
        if (i == first || i == second) {
            sum += std::stoull(field);
        }
    }
    return static_cast<double>(sum) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}
} // namespace detail

// User plus system time a process has used so far, in seconds, from
// /proc/PID/stat (utime and stime, its 14th and 15th fields); 0 when it
// cannot be read.
inline double processCpuSeconds(pid_t pid) {
    return detail::statSeconds(pid, 14, 15);
}

// The time the threads of a process now running have spent on a CPU, in
// seconds, to the nanosecond (the first field of each thread's
// /proc/PID/task/TID/schedstat): finer than the clock ticks above, for
// small shares measured over minutes.
inline double processRunSeconds(pid_t pid) {
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    unsigned long long ns = 0;
    if (DIR* d = ::opendir(task.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') {
                continue;
            }
            std::ifstream f(task + "/" + e->d_name + "/schedstat");
            unsigned long long run = 0;
            if (f >> run) {
                ns += run;
            }
        }
        ::closedir(d);
    }
    return static_cast<double>(ns) / 1e9;
}

// The same of the children it has waited for (cutime and cstime, the 16th
// and 17th fields).
inline double childrenCpuSeconds(pid_t pid) {
    return detail::statSeconds(pid, 16, 17);
}

inline double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace velkor::bench
