#pragma once

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace velkor::bench {

// User plus system time a process has used so far, in seconds, from
// /proc/PID/stat (utime and stime, its 14th and 15th fields); 0 when it
// cannot be read.
inline double processCpuSeconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    const std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // The fields after the command's closing parenthesis, from the third on.
    const auto close = s.rfind(')');
    if (close == std::string::npos || close + 2 > s.size()) {
        return 0;
    }
    std::istringstream rest(s.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
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
