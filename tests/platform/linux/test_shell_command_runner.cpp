// The real command runner: /bin/sh -c with the environment changed, nothing
// of the program's but standard error, every signal at its default, the
// end watched on the event loop without waiting for it.
#include "platform/linux/ShellCommandRunner.h"
#include "support/EventPump.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

using namespace velkor;
using namespace velkor::test;

namespace {

struct Runner {
    ShellCommandRunner runner;
    std::vector<CommandEnd> ends;
    QTemporaryDir dir;
    QString out = dir.filePath(QStringLiteral("out"));

    Runner() {
        runner.finished = [this](const CommandEnd& e) { ends.push_back(e); };
    }
    // Runs the command to its end; its end.
    std::optional<CommandEnd> run(const QString& command, CommandEnvironment env = {}) {
        env.set.push_back({"OUT", QFile::encodeName(out)});
        QString error;
        if (!runner.start(command, env, &error)) {
            ADD_FAILURE() << error.toStdString();
            return std::nullopt;
        }
        const std::size_t before = ends.size();
        if (!pumpUntil([&] { return ends.size() > before; }, 20000)) {
            return std::nullopt;
        }
        return ends.back();
    }
    QByteArray output() const {
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST(ShellCommandRunner, ValuesReachTheCommandThroughItsEnvironmentOnly) {
    Runner r;
    qputenv("VELKOR_TEST_SECRET", "hush");
    qputenv("VELKOR_VALUE", "stale");
    CommandEnvironment env;
    env.set = {{"VELKOR_VALUE", "1; touch \"$OUT.pwned\" $(id)"}, {"VELKOR_UNIT", "kΩ"}};
    env.unset = {"VELKOR_TEST_SECRET"};
    const auto end = r.run(QStringLiteral("printf '%s|%s|%s' \"$VELKOR_VALUE\" \"$VELKOR_UNIT\" "
                                          "\"${VELKOR_TEST_SECRET-unset}\" > \"$OUT\""),
                           env);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, CommandEnd::How::Exited);
    EXPECT_EQ(end->code, 0);
    EXPECT_EQ(r.output(), QByteArray("1; touch \"$OUT.pwned\" $(id)|kΩ|unset"));
    EXPECT_FALSE(QFile::exists(r.out + QStringLiteral(".pwned")));
    qunsetenv("VELKOR_TEST_SECRET");
    qunsetenv("VELKOR_VALUE");
}

TEST(ShellCommandRunner, StatusesAndSignalsAreToldAsTheyAre) {
    Runner r;
    const struct {
        const char* command;
        CommandEnd::How how;
        int code;
    } cases[] = {
        {"exit 0", CommandEnd::How::Exited, 0},
        {"exit 3", CommandEnd::How::Exited, 3},
        {"velkor-no-such-command-here", CommandEnd::How::Exited, 127},
        {"kill -9 $$", CommandEnd::How::Signalled, SIGKILL},
    };
    for (const auto& c : cases) {
        const auto end = r.run(QString::fromLatin1(c.command));
        ASSERT_TRUE(end) << c.command;
        EXPECT_EQ(end->how, c.how) << c.command;
        EXPECT_EQ(end->code, c.code) << c.command;
    }
}

// The program ignores SIGPIPE and blocks nothing the command must see; the
// command gets the default of each, stdin empty and none of the program's
// descriptors.
TEST(ShellCommandRunner, TheCommandStartsCleanOfTheProgramsState) {
    Runner r;
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigset_t oldMask;
    pthread_sigmask(SIG_BLOCK, &term, &oldMask);
    const int leaked = ::open("/dev/null", O_RDONLY); // without O_CLOEXEC
    ASSERT_GE(::dup2(leaked, 57), 0);

    auto end = r.run(QStringLiteral("kill -PIPE $$; echo survived > \"$OUT\""));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, CommandEnd::How::Signalled);
    EXPECT_EQ(end->code, SIGPIPE);
    end = r.run(QStringLiteral("kill -TERM $$; echo survived > \"$OUT\""));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, CommandEnd::How::Signalled);
    EXPECT_EQ(end->code, SIGTERM);
    end = r.run(QStringLiteral("read line; echo \"read $?\" > \"$OUT\"; "
                               "if [ -e /proc/$$/fd/57 ]; then echo fd57 >> \"$OUT\"; fi"));
    ASSERT_TRUE(end);
    EXPECT_EQ(r.output(), QByteArray("read 1\n"));

    ::close(57);
    ::close(leaked);
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    std::signal(SIGPIPE, oldPipe);
}

TEST(ShellCommandRunner, NothingWaitsForACommandUntilAskedTo) {
    Runner r;
    QString error;
    // exec: the signal below ends the sleep itself, which would otherwise
    // hold the test's output open after the shell has gone.
    ASSERT_TRUE(r.runner.start(QStringLiteral("exec sleep 30"), {}, &error)) << error.toStdString();
    EXPECT_TRUE(r.runner.running());
    QString second;
    EXPECT_FALSE(r.runner.start(QStringLiteral("true"), {}, &second)); // one at a time
    pumpFor(50);
    EXPECT_TRUE(r.ends.empty());
    EXPECT_FALSE(r.runner.waitForEnd(20)); // still running: left to run
    ASSERT_GT(r.runner.pid(), 0);
    ::kill(r.runner.pid(), SIGTERM);
    EXPECT_TRUE(r.runner.waitForEnd(20000));
    ASSERT_EQ(r.ends.size(), 1u);
    EXPECT_EQ(r.ends[0].how, CommandEnd::How::Signalled);
    EXPECT_EQ(r.ends[0].code, SIGTERM);
    EXPECT_FALSE(r.runner.running());
    pumpFor(20); // the watcher's end is not told twice
    EXPECT_EQ(r.ends.size(), 1u);
}

} // namespace
