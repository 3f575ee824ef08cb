// The real window program on a live feed, as a user runs it. For each
// window program named on the command line (a baseline build and this one,
// say), measured one after the other in the same run:
//
//   start-up   time from starting the program to its window being mapped
//              (median of five starts);
//   idle       CPU of the window connected to a line that sends nothing;
//   steady     CPU at 137 frames/s (the fastest a meter sends, at 19200
//              baud) of a steady reading: one range, the last digit moving;
//   changing   CPU at 137 frames/s of a stream whose function or range
//              changes with every frame;
//   lost       frames lost at 1000 frames/s (the simulated meter's top
//              rate) with a log of 1,000,000 rows opened in the window and
//              the size limit "無制限", over the same time.
//
// CPU is the window process's user and system time from /proc over the
// run, as a share of one core. The feed is a pseudo-terminal that this
// program writes (VELKOR_COM1 points the window at it). A frame is lost
// when the line is full of bytes the window has not read: they are dropped
// as a real line drops them. The window is driven through the X server as
// a user would: "COM接続" is clicked, the log file is opened through the
// open button's file dialog, the size limit chosen in the record menu.
//
// Needs an X server: DISPLAY, or it runs itself under xvfb-run.
//
//   velkor-bench-live [--seconds S] [--skip-lost] [--cli VELKOR_CLI] WINDOW...

#include "ProcessCpu.h"
#include "platform/linux/PseudoTerminal.h"
#include "sim/DemoScenario.h"
#include "sim/FrameEncoder.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace velkor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClientHeight = 509;                   // the window's client area below its menu bar
constexpr int kComConX = 76 + 62, kComConY = 3 + 12; // centre of "COM接続" in the client area
constexpr int kOpenX = 4 + 188 + 18, kOpenY = 216 + 3 + 17; // centre of the open button
constexpr int kRecordMenuX = 20;                            // "記録" in the menu bar

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ----- the window process -------------------------------------------------

struct WindowProcess {
    pid_t pid = -1;
    std::string home;

    bool start(const std::string& program, const std::string& comDevice) {
        // A home of its own for every start: the journal that a killed
        // window leaves behind would make the next one ask whether to
        // restore it, and settings would carry over from run to run.
        char dir[] = "/tmp/velkor-bench-home-XXXXXX";
        if (!::mkdtemp(dir)) {
            return false;
        }
        home = dir;
        pid = ::fork();
        if (pid < 0) {
            return false;
        }
        if (pid == 0) {
            for (const char* var : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME"}) {
                ::setenv(var, home.c_str(), 1);
            }
            ::setenv("VELKOR_COM1", comDevice.c_str(), 1);
            ::unsetenv("QT_QPA_PLATFORM");
            // Keep the window's own messages out of the results.
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return true;
    }
    // User plus system time so far, in seconds.
    double cpuSeconds() const { return bench::processCpuSeconds(pid); }
    void stop() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
        if (!home.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
            home.clear();
        }
    }
    ~WindowProcess() { stop(); }
};

// ----- the X server ---------------------------------------------------------

class XSession {
public:
    bool open() {
        d_ = XOpenDisplay(nullptr);
        if (!d_) {
            return false;
        }
        int ev, err, major, minor;
        if (!XTestQueryExtension(d_, &ev, &err, &major, &minor)) {
            std::fprintf(stderr, "the X server has no XTEST extension\n");
            return false;
        }
        pidAtom_ = XInternAtom(d_, "_NET_WM_PID", False);
        return true;
    }
    ~XSession() {
        if (d_) XCloseDisplay(d_);
    }

    // The mapped top-level windows of a process, largest first.
    std::vector<Window> windowsOf(pid_t pid) {
        std::vector<std::pair<long, Window>> found;
        Window root = DefaultRootWindow(d_), parent, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d_, root, &root, &parent, &children, &n)) {
            return {};
        }
        for (unsigned i = 0; i < n; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(d_, children[i], &a) || a.map_state != IsViewable) {
                continue;
            }
            if (windowPid(children[i]) == pid) {
                found.emplace_back(static_cast<long>(a.width) * a.height, children[i]);
            }
        }
        if (children) XFree(children);
        std::sort(found.rbegin(), found.rend());
        std::vector<Window> out;
        for (const auto& f : found)
            out.push_back(f.second);
        return out;
    }
    // Waits for the main window of pid (663 pixels wide) to be mapped.
    Window waitForMainWindow(pid_t pid, double timeoutS) {
        const auto t = Clock::now();
        while (secondsSince(t) < timeoutS) {
            for (Window w : windowsOf(pid)) {
                XWindowAttributes a;
                if (XGetWindowAttributes(d_, w, &a) && a.width == 663) {
                    return w;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return 0;
    }
    // Where the client area of the main window starts on the screen.
    bool clientOrigin(Window w, int& x, int& y) {
        XWindowAttributes a;
        Window child;
        if (!XGetWindowAttributes(d_, w, &a) ||
            !XTranslateCoordinates(d_, w, DefaultRootWindow(d_), 0, 0, &x, &y, &child)) {
            return false;
        }
        y += a.height - kClientHeight; // below the menu bar
        return true;
    }
    void click(int x, int y) {
        XTestFakeMotionEvent(d_, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(d_, 1, True, CurrentTime);
        XTestFakeButtonEvent(d_, 1, False, 20);
        XSync(d_, False);
    }
    void key(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(d_, sym);
        XTestFakeKeyEvent(d_, code, True, CurrentTime);
        XTestFakeKeyEvent(d_, code, False, 5);
        XSync(d_, False);
    }
    // Types text made of characters that need no shift key.
    void type(const std::string& text) {
        for (const char c : text) {
            key(static_cast<KeySym>(static_cast<unsigned char>(c)));
        }
    }

private:
    pid_t windowPid(Window w) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        pid_t pid = -1;
        if (XGetWindowProperty(d_, w, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format, &n,
                               &after, &data) == Success &&
            data && n == 1) {
            pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        }
        if (data) XFree(data);
        return pid;
    }

    Display* d_ = nullptr;
    Atom pidAtom_ = 0;
};

// ----- the feed -------------------------------------------------------------

// Writes frames to the line at a fixed rate on a thread of its own. Bytes
// that the line cannot take because nobody read them are dropped, as a real
// line drops them, and counted.
class Feed {
public:
    explicit Feed(std::vector<std::array<std::uint8_t, 14>> frames) : frames_(std::move(frames)) {}
    bool open() {
        if (!pty_.open()) {
            return false;
        }
        // An end of our own on the line, to drop what nobody read.
        slave_ = ::open(device().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return slave_ >= 0;
    }
    std::string device() const { return pty_.slavePath().toStdString(); }
    int unread() const { return pty_.unread(); }

    void start(double rate) {
        stop();
        sent_ = 0;
        droppedBytes_ = 0;
        running_ = true;
        thread_ = std::thread([this, rate] { run(rate); });
    }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }
    ~Feed() {
        stop();
        if (slave_ >= 0) ::close(slave_);
    }

    long long sent() const { return sent_; }
    long long droppedBytes() const { return droppedBytes_; }
    // Waits until the reader has taken every byte; false at the deadline.
    bool drain(double timeoutS) const { return pty_.drain(static_cast<int>(timeoutS * 1000)); }

private:
    void run(double rate) {
        const int master = pty_.masterFd();
        const auto period = std::chrono::nanoseconds(static_cast<long long>(1e9 / rate));
        auto next = Clock::now();
        std::size_t i = 0;
        while (running_) {
            const auto& f = frames_[i++ % frames_.size()];
            std::size_t done = 0;
            while (done < f.size()) {
                const ssize_t n = ::write(master, f.data() + done, f.size() - done);
                if (n > 0) {
                    done += static_cast<std::size_t>(n);
                } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    // Full of bytes nobody read: they are stale, drop them.
                    droppedBytes_ += pty_.unread();
                    ::tcflush(slave_, TCIFLUSH);
                } else if (n < 0 && errno != EINTR) {
                    return;
                }
            }
            ++sent_;
            next += period;
            std::this_thread::sleep_until(next);
        }
    }

    PseudoTerminal pty_;
    int slave_ = -1;
    std::vector<std::array<std::uint8_t, 14>> frames_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<long long> sent_{0};
    std::atomic<long long> droppedBytes_{0};
};

std::vector<std::array<std::uint8_t, 14>> steadyFrames() {
    std::vector<std::array<std::uint8_t, 14>> frames;
    for (const char* v : {"1.234", "1.235", "1.236", "1.235", "1.234", "1.233"}) {
        frames.push_back(meterFrame(v, {status1::Auto | status1::DC, 0, 0, status4::Volt}).bytes());
    }
    return frames;
}

// One frame of every step of the simulated meter's walk whose function,
// range or point differs from the step before.
std::vector<std::array<std::uint8_t, 14>> changingFrames() {
    std::vector<std::array<std::uint8_t, 14>> frames;
    for (const ScenarioStep& s : demoScenario()) {
        const auto b = s.frame.bytes();
        if (!frames.empty()) {
            const auto& p = frames.back();
            if (std::equal(p.begin() + 6, p.begin() + 11, b.begin() + 6)) {
                continue; // the same point code and status bytes
            }
        }
        frames.push_back(b);
    }
    return frames;
}

// ----- the measurements -----------------------------------------------------

struct Results {
    double startupMs = 0;
    double idle = -1, steady = -1, changing = -1;
    long long lostFrames = -1, lostOf = 0;
};

// Whether process `pid` has `device` open.
bool hasOpen(pid_t pid, const std::string& device) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return false;
    }
    bool found = false;
    while (const dirent* e = ::readdir(d)) {
        char target[256];
        const std::string link = dir + "/" + e->d_name;
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && device == std::string(target, static_cast<std::size_t>(n))) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool connectWindow(XSession& x, Window w, pid_t pid, Feed& feed) {
    int ox, oy;
    if (!x.clientOrigin(w, ox, oy)) {
        return false;
    }
    // A window just mapped on a busy machine may not take the first click:
    // clicked again until it has the line open.
    feed.start(137);
    for (int attempt = 0; attempt < 5 && !hasOpen(pid, feed.device()); ++attempt) {
        x.click(ox + kComConX, oy + kComConY);
        const auto t = Clock::now();
        while (secondsSince(t) < 3 && !hasOpen(pid, feed.device())) {
            sleepMs(100);
        }
    }
    // Connected: the line is read.
    const auto t = Clock::now();
    while (secondsSince(t) < 10) {
        sleepMs(300);
        if (feed.unread() < 14 * 20) {
            return hasOpen(pid, feed.device());
        }
    }
    return false;
}

// CPU share of one core over seconds, once the window has settled.
double cpuOver(const WindowProcess& p, double seconds) {
    sleepMs(1000);
    const double c0 = p.cpuSeconds();
    const auto t = Clock::now();
    sleepMs(static_cast<int>(seconds * 1000));
    return (p.cpuSeconds() - c0) / secondsSince(t) * 100.0;
}

// Waits until the window has used no CPU for a while (a file loaded).
void waitUntilQuiet(const WindowProcess& p, double timeoutS) {
    const auto t = Clock::now();
    double last = p.cpuSeconds();
    int quietTicks = 0;
    while (secondsSince(t) < timeoutS && quietTicks < 3) {
        sleepMs(200);
        const double now = p.cpuSeconds();
        quietTicks = now - last < 0.02 ? quietTicks + 1 : 0;
        last = now;
    }
}

double startupMs(XSession& x, const std::string& program, const std::string& device) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        WindowProcess p;
        const auto t = Clock::now();
        p.start(program, device);
        if (!x.waitForMainWindow(p.pid, 20)) {
            return -1;
        }
        times.push_back(secondsSince(t) * 1000);
        p.stop();
        sleepMs(200);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

Results measure(XSession& x, const std::string& program, double seconds, const std::string& rows) {
    Results r;
    {
        Feed feed(steadyFrames());
        if (!feed.open()) return r;
        r.startupMs = startupMs(x, program, feed.device());
    }
    for (int kind = 0; kind < 2; ++kind) {
        Feed feed(kind == 0 ? steadyFrames() : changingFrames());
        if (!feed.open()) return r;
        WindowProcess p;
        p.start(program, feed.device());
        const Window w = x.waitForMainWindow(p.pid, 20);
        if (!w || !connectWindow(x, w, p.pid, feed)) {
            std::fprintf(stderr, "%s: the window did not connect\n", program.c_str());
            return r;
        }
        if (kind == 0) {
            // Connected and idle first: nothing arrives.
            feed.stop();
            r.idle = cpuOver(p, seconds / 2);
            feed.start(137);
            r.steady = cpuOver(p, seconds);
        } else {
            r.changing = cpuOver(p, seconds);
        }
        feed.stop();
    }
    if (!rows.empty()) {
        Feed feed(changingFrames());
        if (!feed.open()) return r;
        WindowProcess p;
        p.start(program, feed.device());
        const Window w = x.waitForMainWindow(p.pid, 20);
        int ox, oy;
        if (!w || !x.clientOrigin(w, ox, oy)) return r;
        // Open the log: the open button, its file dialog, the path typed.
        x.click(ox + kOpenX, oy + kOpenY);
        const auto t = Clock::now();
        while (x.windowsOf(p.pid).size() < 2 && secondsSince(t) < 10)
            sleepMs(50);
        sleepMs(500);
        x.type(rows);
        x.key(XK_Return);
        sleepMs(500);
        waitUntilQuiet(p, 120);
        // The size limit "無制限": the record menu, its last item.
        x.click(ox + kRecordMenuX, oy - 10);
        sleepMs(500);
        x.key(XK_Up);
        x.key(XK_Return);
        sleepMs(300);
        if (!connectWindow(x, w, p.pid, feed)) {
            std::fprintf(stderr, "%s: the window did not connect\n", program.c_str());
            return r;
        }
        feed.stop();
        feed.drain(5);
        const long long droppedBefore = feed.droppedBytes();
        feed.start(1000);
        sleepMs(static_cast<int>(seconds * 1000));
        feed.stop();
        const bool drained = feed.drain(10);
        r.lostOf = feed.sent();
        r.lostFrames = (feed.droppedBytes() - droppedBefore + (drained ? 0 : feed.unread())) / 14;
    }
    return r;
}

std::string option(std::vector<std::string>& args, const std::string& name, std::string def) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            def = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            break;
        }
    }
    return def;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        // No X server given: run under a virtual one.
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    const double seconds = std::stod(option(args, "--seconds", "20"));
    const std::string cli = option(args, "--cli", "");
    bool skipLost = false;
    if (auto it = std::find(args.begin(), args.end(), "--skip-lost"); it != args.end()) {
        skipLost = true;
        args.erase(it);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: velkor-bench-live [--seconds S] [--skip-lost] "
                             "[--cli VELKOR_CLI] WINDOW...\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    XSession x;
    if (!x.open()) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 1;
    }

    // A log of 1,000,000 rows, made by velkor-cli log from a demo stream.
    std::string rows;
    if (!skipLost && !cli.empty()) {
        const std::string dir = "/tmp/velkor-bench-live";
        ::mkdir(dir.c_str(), 0700);
        rows = dir + "/rows.xml";
        struct stat st;
        if (::stat(rows.c_str(), &st) != 0) {
            const std::string cmd = cli + " demo --count 1000000 > " + dir + "/demo.bin && " + cli +
                                    " log --max-records 1000000 --save " + rows + " " + dir +
                                    "/demo.bin > /dev/null";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "cannot make the log: %s\n", cmd.c_str());
                rows.clear();
            }
        }
    }

    std::printf("%-60s %10s %8s %8s %9s %16s\n", "window program", "start-up", "idle", "steady",
                "changing", "lost @1000/s");
    for (const std::string& program : args) {
        const Results r = measure(x, program, seconds, rows);
        char lost[64] = "-";
        if (r.lostFrames >= 0) {
            std::snprintf(lost, sizeof lost, "%lld of %lld", r.lostFrames, r.lostOf);
        }
        std::printf("%-60s %8.0f ms %7.2f%% %7.2f%% %8.2f%% %16s\n", program.c_str(), r.startupMs,
                    r.idle, r.steady, r.changing, lost);
        std::fflush(stdout);
    }
    return 0;
}
