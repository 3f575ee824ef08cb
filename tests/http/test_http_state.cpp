// What the server keeps and says, without a network: the rows held, the
// hand-off from the logger, the metrics and the event stream's text.
#include "http/EventText.h"
#include "http/HeldRows.h"
#include "http/MeterMetrics.h"
#include "http/RowHandOff.h"
#include "http/ServerState.h"
#include "logfiles/LogCsvFile.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <poll.h>

namespace velkor::http {
namespace {

LogRecord record(qint32 no, const char* function, const char* value, const char* unit,
                 const char* judge = "pass") {
    return LogRecord{no,
                     QStringLiteral("21:05:03"),
                     QString::fromUtf8(function),
                     QString::fromUtf8(value),
                     QString::fromUtf8(unit),
                     QString::fromUtf8(judge),
                     std::nullopt};
}

const QDateTime kMoment(QDate(2026, 12, 10), QTime(21, 5, 3, 120), QTimeZone(9 * 3600));

std::vector<qint64> heldNumbers(const HeldRows& held) {
    std::vector<qint64> out;
    for (std::size_t i = 0; i < held.size(); ++i) {
        out.push_back(held.noAt(i));
    }
    return out;
}

TEST(HeldRows, TheLastRowsFoundByNumber) {
    HeldRows held(3);
    EXPECT_EQ(held.indexAfter(0), 0u);
    EXPECT_EQ(held.lastNo(), 0);
    for (qint64 no : {2, 5, 6, 9}) { // numbers skip where repeats were dropped
        held.add(no, "{\"no\":" + QByteArray::number(no) + "}", QByteArray::number(no) + ",\r\n");
    }
    EXPECT_EQ(heldNumbers(held), (std::vector<qint64>{5, 6, 9}));
    EXPECT_EQ(held.indexAfter(0), 0u);
    EXPECT_EQ(held.indexAfter(5), 1u);
    EXPECT_EQ(held.indexAfter(7), 2u);
    EXPECT_EQ(held.indexAfter(9), 3u);
    EXPECT_EQ(held.noBefore(0), 4);
    EXPECT_EQ(held.noBefore(2), 6);
    EXPECT_EQ(held.jsonAt(1), QByteArrayView("{\"no\":6}"));
    EXPECT_EQ(held.csvAt(1), QByteArrayView("6,\r\n"));
    // A numbering that starts again starts the rows afresh.
    held.add(1, "{}", "1\r\n");
    EXPECT_EQ(heldNumbers(held), (std::vector<qint64>{1}));
}

TEST(RowHandOff, RowsBeyondTheBoundAreCountedNotQueuedAndNothingElseIsDropped) {
    RowHandOff handOff(2);
    ASSERT_GE(handOff.wakeFd(), 0);
    pollfd fd{handOff.wakeFd(), POLLIN, 0};
    EXPECT_EQ(::poll(&fd, 1, 0), 0) << "nothing waits yet";

    handOff.push(RowHandOff::Limits{QStringLiteral("5"), QStringLiteral("-5")});
    EXPECT_EQ(::poll(&fd, 1, 0), 1) << "the first item wakes the server";
    for (qint32 no = 1; no <= 4; ++no) {
        handOff.push(LiveRow{record(no, "DC", "1.0", "V", no == 4 ? "Fail" : "pass"), kMoment, {}});
    }
    handOff.push(LinkState::Reconnecting);

    std::vector<RowHandOff::Item> items;
    const RowHandOff::Missed missed = handOff.take(items);
    EXPECT_EQ(::poll(&fd, 1, 0), 0) << "taken: the wake-up is used";
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(std::holds_alternative<RowHandOff::Limits>(items[0]));
    EXPECT_EQ(std::get<LiveRow>(items[1]).row.No, 1);
    EXPECT_EQ(std::get<LiveRow>(items[2]).row.No, 2);
    EXPECT_EQ(std::get<LinkState>(items[3]), LinkState::Reconnecting);
    EXPECT_EQ(missed.rows, 2u);
    EXPECT_EQ(missed.fails, 1u);

    // Room again once taken.
    handOff.push(LiveRow{record(5, "DC", "1.0", "V"), kMoment, {}});
    const RowHandOff::Missed none = handOff.take(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(none.rows, 0u);
}

// Each quantity in its base unit and under its own name, per function;
// an overload is NaN; the counters count every row, also those the
// hand-off could only count.
TEST(MeterMetrics, TheExpositionInBaseUnits) {
    MeterMetrics m;
    EXPECT_EQ(m.exposition(),
              "# HELP velkor_readings_total Readings logged since the logger started.\n"
              "# TYPE velkor_readings_total counter\n"
              "velkor_readings_total 0\n"
              "# HELP velkor_fail_readings_total Readings logged with the judge Fail since the "
              "logger started.\n"
              "# TYPE velkor_fail_readings_total counter\n"
              "velkor_fail_readings_total 0\n"
              "# HELP velkor_link_up 1 while the meter's input is open and read, else 0.\n"
              "# TYPE velkor_link_up gauge\n"
              "velkor_link_up 1\n"
              "# HELP velkor_http_connections Connections open to the live view, the one "
              "asking included.\n"
              "# TYPE velkor_http_connections gauge\n"
              "velkor_http_connections 0\n");

    m.add(record(1, "DC", "123.4", "mV"), kMoment);
    m.add(record(2, "AC", "230.1", "V", "Fail"), kMoment);
    m.add(record(3, "DC", "0L", "V", "Fail"), kMoment); // DC volts: now an overload
    m.add(record(4, "OHM", "4.700", "k*"), kMoment);
    m.add(record(5, "TMP", "212", "?"), kMoment); // °F: 100 °C
    m.add(record(6, "DutyCycle", "25.0", "%"), kMoment);
    m.add(record(7, "CAP", "4.70", "nF"), kMoment);
    m.add(record(8, "Freq", "1.000", "kHz"), kMoment);
    m.add(record(9, "DC", "12.5", "mA"), kMoment);
    m.add(record(10, "TMP", "21.5", "#"), kMoment); // °C takes °F's place
    m.add(record(11, "x\"y\\z", "1", "V"), kMoment);
    m.add(record(12, "DC", "1", "furlong"), kMoment); // no unit of the meter: counted only
    m.addUncounted(3, 1);
    m.setLink(LinkState::Reconnecting);
    const QByteArray text = m.exposition();
    for (const char* line : {
             "velkor_readings_total 15\n",
             "velkor_fail_readings_total 3\n",
             "velkor_link_up 0\n",
             "velkor_last_reading_timestamp_seconds 1796904303.12\n",
             "# TYPE velkor_voltage_volts gauge\n",
             "velkor_voltage_volts{function=\"AC\"} 230.1\n",
             "velkor_voltage_volts{function=\"DC\"} NaN\n",
             "velkor_voltage_volts{function=\"x\\\"y\\\\z\"} 1\n",
             "velkor_current_amperes{function=\"DC\"} 0.0125\n",
             "velkor_resistance_ohms{function=\"OHM\"} 4700\n",
             "velkor_capacitance_farads{function=\"CAP\"} 4.7e-09\n",
             "velkor_frequency_hertz{function=\"Freq\"} 1000\n",
             "velkor_temperature_celsius{function=\"TMP\"} 21.5\n",
             "velkor_duty_cycle_ratio{function=\"DutyCycle\"} 0.25\n",
         }) {
        EXPECT_TRUE(text.contains(line)) << line << "\nin:\n" << text.constData();
    }
    EXPECT_FALSE(text.contains("furlong"));
    // Families in a fixed order, each announced once.
    EXPECT_LT(text.indexOf("velkor_voltage_volts"), text.indexOf("velkor_current_amperes"));
    EXPECT_LT(text.indexOf("velkor_capacitance_farads"), text.indexOf("velkor_frequency_hertz"));
    EXPECT_EQ(text.count("# TYPE velkor_temperature_celsius"), 1);

    MeterMetrics f;
    f.add(record(1, "TMP", "212.0", "?"), kMoment);
    EXPECT_TRUE(f.exposition().contains("velkor_temperature_celsius{function=\"TMP\"} 100\n"));
}

TEST(EventText, ReadingsStatusAndEnd) {
    QByteArray out = streamOpening(3000);
    appendReadingEvent(out, 12, "{\"no\":12}");
    StreamStatus s;
    s.link = LinkState::Away;
    s.rows = 14;
    s.fails = 2;
    s.lastNo = 12;
    s.hi = QStringLiteral("1.5");
    s.lo = QStringLiteral("-\"1\"");
    appendStatusEvent(out, s);
    appendKeepAlive(out);
    appendEndEvent(out);
    EXPECT_EQ(out, QByteArray("retry: 3000\n\n"
                              "id: 12\ndata: {\"no\":12}\n\n"
                              "event: status\ndata: {\"link\":\"away\",\"rows\":14,\"fails\":2,"
                              "\"lastNo\":12,\"hi\":\"1.5\",\"lo\":\"-\\\"1\\\"\"}\n\n"
                              "event: alive\ndata: {}\n\n"
                              "event: end\ndata: {}\n\n"));
}

// The server's rows are the log's own forms: the JSON of a published row
// and the line of the CSV writer.
TEST(ServerState, RowsHeldInTheLogsOwnForms) {
    ServerState state(10);
    const std::uint64_t version = state.statusVersion();
    RowHandOff::Item limits = RowHandOff::Limits{QStringLiteral("12.35"), QStringLiteral("-1")};
    state.absorb(limits);
    EXPECT_NE(state.statusVersion(), version);
    const LogRecord row = record(7, "DC", "123.4", "mV", "Fail");
    RowHandOff::Item item = LiveRow{row, kMoment, {QStringLiteral("AUTO")}};
    state.absorb(item);

    ASSERT_EQ(state.held().size(), 1u);
    EXPECT_EQ(state.held().jsonAt(0),
              QByteArrayView(R"({"no":7,"timestamp":"2026-12-10T21:05:03.120+09:00",)"
                             R"("function":"DC","value":"123.4","unit":"mV","si":0.1234,)"
                             R"("judge":"Fail","marks":["AUTO"]})"));
    QByteArray csv;
    appendLogCsvRow(csv, row, kMoment.date());
    EXPECT_EQ(state.held().csvAt(0), QByteArrayView(csv));
    const StreamStatus s = state.status();
    EXPECT_EQ(s.rows, 1u);
    EXPECT_EQ(s.fails, 1u);
    EXPECT_EQ(s.lastNo, 7);
    EXPECT_EQ(s.hi, QStringLiteral("12.35"));

    const std::uint64_t before = state.statusVersion();
    RowHandOff::Item same = LinkState::Reading;
    state.absorb(same);
    EXPECT_EQ(state.statusVersion(), before) << "no change, no new status";
    RowHandOff::Item away = LinkState::Away;
    state.absorb(away);
    EXPECT_NE(state.statusVersion(), before);
    EXPECT_EQ(state.status().link, LinkState::Away);
}

} // namespace
} // namespace velkor::http
