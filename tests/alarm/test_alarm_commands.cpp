// The commands run on an alarm's transitions, through a scripted runner:
// the reading in the environment and never in the command's text, at most
// one at a time, every failure told, and the end of the run.
#include "alarm/AlarmCommands.h"
#include "support/ScriptedCommandRunner.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace velkor;
using namespace velkor::test;

namespace {

AlarmReading reading(qint32 no, const char* value = "123.4", const char* unit = "mV",
                     const char* judge = "Fail") {
    return {no,
            QDateTime(QDate(2026, 12, 10), QTime(21, 5, 3, 120), QTimeZone(9 * 3600)),
            QStringLiteral("DC"),
            QString::fromUtf8(value),
            QString::fromUtf8(unit),
            QString::fromUtf8(judge)};
}

struct Commands {
    ScriptedCommandRunner runner;
    QStringList said;
    AlarmCommands commands{runner,
                           {QStringLiteral("notify-send \"$VELKOR_VALUE\""),
                            QStringLiteral("logger back"),
                            {"VELKOR_MQTT_PASSWORD", "VELKOR_INFLUX_TOKEN"}}};
    Commands() {
        commands.say = [this](const QString& m) { said.append(m); };
    }
};

TEST(AlarmCommands, TheReadingGoesInTheEnvironmentAndTheCommandStaysAsWritten) {
    Commands c;
    c.commands.transition(AlarmTransition::ToFail, reading(12));
    ASSERT_EQ(c.runner.started.size(), 1u);
    const auto& s = c.runner.started[0];
    EXPECT_EQ(s.command, QStringLiteral("notify-send \"$VELKOR_VALUE\""));
    EXPECT_EQ(s.value("VELKOR_NO"), "12");
    EXPECT_EQ(s.value("VELKOR_TIMESTAMP"), "2026-12-10T21:05:03.120+09:00");
    EXPECT_EQ(s.value("VELKOR_FUNCTION"), "DC");
    EXPECT_EQ(s.value("VELKOR_VALUE"), "123.4");
    EXPECT_EQ(s.value("VELKOR_UNIT"), "mV");
    EXPECT_EQ(s.value("VELKOR_SI"), "0.1234");
    EXPECT_EQ(s.value("VELKOR_JUDGE"), "Fail");
    EXPECT_EQ(s.environment.set.size(), 7u);
    EXPECT_EQ(s.environment.unset,
              (std::vector<QByteArray>{"VELKOR_MQTT_PASSWORD", "VELKOR_INFLUX_TOKEN"}));
    EXPECT_TRUE(c.said.isEmpty());

    // An overload has no SI value; units are readable, in UTF-8.
    c.runner.end({});
    c.commands.transition(AlarmTransition::ToFail, reading(13, "0L", "M*"));
    ASSERT_EQ(c.runner.started.size(), 2u);
    EXPECT_EQ(c.runner.started[1].value("VELKOR_SI"), "");
    EXPECT_EQ(c.runner.started[1].value("VELKOR_UNIT"), QByteArray("MΩ"));
    EXPECT_EQ(c.runner.started[1].value("VELKOR_VALUE"), "0L");
}

TEST(AlarmCommands, ATransitionWhileACommandRunsIsToldAndSkipped) {
    Commands c;
    c.commands.transition(AlarmTransition::ToFail, reading(5));
    c.commands.transition(AlarmTransition::ToPass, reading(9, "1.000", "V", "pass"));
    ASSERT_EQ(c.runner.started.size(), 1u);
    ASSERT_EQ(c.said.size(), 1);
    EXPECT_EQ(c.said[0], QStringLiteral("--on-pass for No. 9 skipped: the --on-fail command for "
                                        "No. 5 is still running"));
    c.runner.end({});
    c.commands.transition(AlarmTransition::ToPass, reading(11, "1.000", "V", "pass"));
    ASSERT_EQ(c.runner.started.size(), 2u);
    EXPECT_EQ(c.runner.started[1].command, QStringLiteral("logger back"));
    // No transition, or one without a command, runs nothing.
    c.runner.end({});
    c.commands.transition(AlarmTransition::None, reading(12));
    AlarmCommands onlyFail(c.runner, {QStringLiteral("true"), {}, {}});
    onlyFail.transition(AlarmTransition::ToPass, reading(13));
    EXPECT_EQ(c.runner.started.size(), 2u);
}

TEST(AlarmCommands, EveryWayACommandGoesWrongIsToldAndTheNextStillRuns) {
    const struct {
        CommandEnd end;
        const char* told; // empty: nothing
    } cases[] = {
        {{CommandEnd::How::Exited, 0}, ""},
        {{CommandEnd::How::Exited, 3}, "--on-fail for No. 1: the command exited with status 3"},
        {{CommandEnd::How::Exited, 127},
         "--on-fail for No. 1: the command exited with status 127 (not found)"},
        {{CommandEnd::How::Exited, 126},
         "--on-fail for No. 1: the command exited with status 126 (cannot be run)"},
        {{CommandEnd::How::Signalled, 9},
         "--on-fail for No. 1: the command was ended by signal 9 (Killed)"},
        {{CommandEnd::How::Unknown, 0},
         "--on-fail for No. 1: the command ended; its status is unknown"},
    };
    for (const auto& k : cases) {
        Commands c;
        c.commands.transition(AlarmTransition::ToFail, reading(1));
        c.runner.end(k.end);
        EXPECT_EQ(c.said.join(u'|'), QString::fromUtf8(k.told));
        c.commands.transition(AlarmTransition::ToFail, reading(2));
        EXPECT_EQ(c.runner.started.size(), 2u);
    }
    Commands c;
    c.runner.refusal = QStringLiteral("/bin/sh: No such file or directory");
    c.commands.transition(AlarmTransition::ToFail, reading(4));
    EXPECT_EQ(c.said, QStringList{QStringLiteral("--on-fail for No. 4: cannot start the command: "
                                                 "/bin/sh: No such file or directory")});
    EXPECT_FALSE(c.runner.running());
}

TEST(AlarmCommands, TheRunsEndWaitsForARunningCommandAndSaysSo) {
    Commands idle;
    idle.commands.finish(10000);
    EXPECT_EQ(idle.runner.waits, 0);
    EXPECT_TRUE(idle.said.isEmpty());

    Commands c;
    c.commands.transition(AlarmTransition::ToFail, reading(7));
    c.commands.finish(10000);
    EXPECT_EQ(c.runner.waits, 1);
    EXPECT_EQ(c.said, QStringList{QStringLiteral(
                          "waiting up to 10 s for the --on-fail command for No. 7 to end")});

    Commands stuck;
    stuck.runner.endsInWait = false;
    stuck.commands.transition(AlarmTransition::ToFail, reading(8));
    stuck.commands.finish(2000);
    ASSERT_EQ(stuck.said.size(), 2);
    EXPECT_EQ(stuck.said[1], QStringLiteral("the --on-fail command for No. 8 is still running; it "
                                            "is left to end by itself"));
}

} // namespace
