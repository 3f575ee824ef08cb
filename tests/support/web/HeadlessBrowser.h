#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <optional>
#include <sys/types.h>

namespace velkor::test {

// Debian's Chromium in headless mode, driven through the DevTools protocol
// on a pipe (--remote-debugging-pipe: commands in on descriptor 3, answers
// out on 4, each a JSON message ended by a NUL), with a new empty profile
// in a temporary directory. Closed (or killed with its process group) at
// the end.
class HeadlessBrowser {
public:
    HeadlessBrowser() = default;
    ~HeadlessBrowser();
    HeadlessBrowser(const HeadlessBrowser&) = delete;
    HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

    // Starts the browser. Empty on success, else why (with its output).
    QString start();
    // Opens `url` in a new tab of width x height CSS pixels (mobile: as a
    // phone shows it); the tab's session, or nothing.
    std::optional<QString> open(const QString& url, int width = 1000, int height = 900,
                                bool mobile = false);
    // The value of a JavaScript expression in the tab (an invalid value
    // when it threw).
    QJsonValue evaluate(const QString& session, const QString& expression);
    // Evaluates `expression` until it gives true, up to `timeout`.
    bool waitTrue(const QString& session, const QString& expression,
                  std::chrono::milliseconds timeout);
    // The tab as a PNG picture.
    QByteArray screenshot(const QString& session);
    // Closes a tab.
    void close(const QString& session);

    pid_t pid() const { return pid_; }
    QString output() const; // what the browser logged

private:
    std::optional<QJsonObject> call(const QString& method, const QJsonObject& params = {},
                                    const QString& session = {},
                                    std::chrono::milliseconds timeout = std::chrono::seconds(30));
    bool readMessage(std::chrono::steady_clock::time_point until);

    QTemporaryDir dir_;
    pid_t pid_ = -1;
    int toBrowser_ = -1;
    int fromBrowser_ = -1;
    int nextId_ = 0;
    QByteArray pending_;
    QList<QJsonObject> answers_;
};

} // namespace velkor::test
