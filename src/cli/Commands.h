#pragma once

#include <QStringList>

namespace velkor::cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitInput = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitOutput = 3;
// log --stop-on-fail: the judge turned Fail.
inline constexpr int kExitAlarm = 4;

int runDecode(const QStringList& args);
int runDemoStream(const QStringList& args);
int runLog(const QStringList& args);
// read --device PATH: a meter on a serial line (ReadSerialCommand.cpp).
int runReadSerial(const QStringList& args);
// read --hid [PATH]: a meter through the USB cable (ReadHidCommand.cpp).
int runReadHid(const QStringList& args);
int runConvert(const QStringList& args);
// stats [--csv|--json] LOG... (StatsCommand.cpp).
int runStats(const QStringList& args);
// report LOG OUT.pdf (ReportCommand.cpp, in builds with the Qt GUI): makes
// its own GUI application, so it takes the program's arguments.
int runReport(int argc, char** argv);

void printUsage(bool toStderr);

} // namespace velkor::cli
