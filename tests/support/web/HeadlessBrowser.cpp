#include "support/web/HeadlessBrowser.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velkor::test {

namespace {

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

HeadlessBrowser::~HeadlessBrowser() {
    if (pid_ > 0) {
        call(QStringLiteral("Browser.close"), {}, {}, std::chrono::seconds(5));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(-pid_, SIGKILL); // the browser's whole process group
                ::waitpid(pid_, &status, 0);
                break;
            }
            QThread::msleep(10);
        }
    }
    for (int fd : {toBrowser_, fromBrowser_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

QString HeadlessBrowser::output() const {
    QFile log(dir_.filePath(QStringLiteral("browser.log")));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QString HeadlessBrowser::start() {
    if (!dir_.isValid()) {
        return QStringLiteral("no temporary directory");
    }
    const QByteArray profile = QFile::encodeName(QStringLiteral("--user-data-dir=") +
                                                 dir_.filePath(QStringLiteral("profile")));
    const QByteArray log = QFile::encodeName(dir_.filePath(QStringLiteral("browser.log")));
    std::vector<std::string> args = {VELKOR_CHROMIUM,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--disable-breakpad",
                                     "--disable-crash-reporter",
                                     "--remote-debugging-pipe",
                                     profile.toStdString(),
                                     "about:blank"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        return QStringLiteral("no pipe");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // dup2 clears close-on-exec on the copies.
        ::dup2(in[0], 3);
        ::dup2(out[1], 4);
        const int fd = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (fd >= 0) {
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toBrowser_ = in[1];
    fromBrowser_ = out[0];
    if (pid_ < 0) {
        return QStringLiteral("cannot fork");
    }
    if (!call(QStringLiteral("Browser.getVersion"))) {
        return QStringLiteral("the browser did not answer:\n") + output();
    }
    return {};
}

bool HeadlessBrowser::readMessage(std::chrono::steady_clock::time_point until) {
    for (;;) {
        if (const qsizetype end = pending_.indexOf('\0'); end >= 0) {
            const QJsonObject message = QJsonDocument::fromJson(pending_.left(end)).object();
            pending_.remove(0, end + 1);
            if (message.contains(QLatin1String("id"))) {
                answers_.append(message);
                return true;
            }
            continue; // an event: not asked for
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{fromBrowser_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buf[65536];
        const ssize_t n = ::read(fromBrowser_, buf, sizeof buf);
        if (n <= 0) {
            return false; // the browser is gone
        }
        pending_.append(buf, n);
    }
}

std::optional<QJsonObject> HeadlessBrowser::call(const QString& method, const QJsonObject& params,
                                                 const QString& session,
                                                 std::chrono::milliseconds timeout) {
    if (toBrowser_ < 0) {
        return std::nullopt;
    }
    const int id = ++nextId_;
    QJsonObject message{{QStringLiteral("id"), id},
                        {QStringLiteral("method"), method},
                        {QStringLiteral("params"), params}};
    if (!session.isEmpty()) {
        message.insert(QStringLiteral("sessionId"), session);
    }
    if (!writeAll(toBrowser_, QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0')) {
        return std::nullopt;
    }
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (qsizetype i = 0; i < answers_.size(); ++i) {
            if (answers_[i].value(QLatin1String("id")).toInt() == id) {
                const QJsonObject answer = answers_.takeAt(i);
                if (answer.contains(QLatin1String("error"))) {
                    return std::nullopt;
                }
                return answer.value(QLatin1String("result")).toObject();
            }
        }
        if (!readMessage(until)) {
            return std::nullopt;
        }
    }
}

std::optional<QString> HeadlessBrowser::open(const QString& url, int width, int height,
                                             bool mobile) {
    // A window of its own: a tab behind another one is hidden, and a
    // hidden page draws nothing.
    const auto target = call(QStringLiteral("Target.createTarget"),
                             {{QStringLiteral("url"), QStringLiteral("about:blank")},
                              {QStringLiteral("newWindow"), true}});
    if (!target) {
        return std::nullopt;
    }
    const auto attached =
        call(QStringLiteral("Target.attachToTarget"),
             {{QStringLiteral("targetId"), target->value(QLatin1String("targetId"))},
              {QStringLiteral("flatten"), true}});
    if (!attached) {
        return std::nullopt;
    }
    const QString session = attached->value(QLatin1String("sessionId")).toString();
    call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
         {{QStringLiteral("width"), width},
          {QStringLiteral("height"), height},
          {QStringLiteral("deviceScaleFactor"), 1},
          {QStringLiteral("mobile"), mobile}},
         session);
    if (!call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}, session)) {
        return std::nullopt;
    }
    return session;
}

QJsonValue HeadlessBrowser::evaluate(const QString& session, const QString& expression) {
    const auto r =
        call(QStringLiteral("Runtime.evaluate"),
             {{QStringLiteral("expression"), expression}, {QStringLiteral("returnByValue"), true}},
             session);
    if (!r || r->contains(QLatin1String("exceptionDetails"))) {
        return QJsonValue(QJsonValue::Undefined);
    }
    return r->value(QLatin1String("result")).toObject().value(QLatin1String("value"));
}

bool HeadlessBrowser::waitTrue(const QString& session, const QString& expression,
                               std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (evaluate(session, expression).toBool()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) {
            return false;
        }
        // The test's own children (a logger's output) are read meanwhile.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
}

QByteArray HeadlessBrowser::screenshot(const QString& session) {
    const auto r = call(QStringLiteral("Page.captureScreenshot"),
                        {{QStringLiteral("format"), QStringLiteral("png")}}, session);
    return r ? QByteArray::fromBase64(r->value(QLatin1String("data")).toString().toLatin1())
             : QByteArray();
}

void HeadlessBrowser::close(const QString& session) {
    call(QStringLiteral("Page.close"), {}, session, std::chrono::seconds(5));
}

} // namespace velkor::test
