#pragma once

#include "platform/CommandRunner.h"

#include <QString>
#include <vector>

namespace velkor::test {

// A command runner whose commands run until the test ends them: it records
// what was started with which environment, and refuses to start when told.
class ScriptedCommandRunner final : public CommandRunner {
public:
    struct Started {
        QString command;
        CommandEnvironment environment;

        QByteArray value(const char* name) const {
            for (const auto& [n, v] : environment.set) {
                if (n == name) {
                    return v;
                }
            }
            return {};
        }
    };

    std::vector<Started> started;
    QString refusal;        // not empty: start() fails with this reason
    bool endsInWait = true; // waitForEnd() ends the command (exit 0)
    int waits = 0;

    bool start(const QString& command, const CommandEnvironment& environment,
               QString* error) override {
        if (!refusal.isEmpty()) {
            *error = refusal;
            return false;
        }
        started.push_back({command, environment});
        running_ = true;
        return true;
    }
    bool running() const override { return running_; }
    bool waitForEnd(int) override {
        ++waits;
        if (running_ && endsInWait) {
            end({});
        }
        return !running_;
    }

    // The running command ends.
    void end(CommandEnd how) {
        running_ = false;
        if (finished) {
            finished(how);
        }
    }

private:
    bool running_ = false;
};

} // namespace velkor::test
