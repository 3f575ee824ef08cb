// The MQTT publisher against a real Mosquitto broker on 127.0.0.1: the rows
// per second one publisher sustains (QoS 1, each row acknowledged by the
// broker), the CPU the publisher costs at the meter's fastest pace (137
// rows/s), and what publish() costs the logging side.
#include "BenchMain.h"
#include "mqtt/MqttPublisher.h"
#include "support/broker/MosquittoBroker.h"

#include <QCoreApplication>
#include <QThread>
#include <benchmark/benchmark.h>

#include <chrono>
#include <sys/resource.h>
#include <thread>

using namespace velkor;
using namespace velkor::mqtt;
using velkor::json::JsonReading;
using namespace std::chrono_literals;

namespace {

JsonReading row(qint64 no) {
    JsonReading r;
    r.no = no;
    r.timestamp = QDateTime::currentDateTime();
    r.function = QStringLiteral("DC");
    r.value = QStringLiteral("123.4");
    r.unit = QStringLiteral("mV");
    r.si = 0.1234;
    r.judge = QStringLiteral("GO");
    r.marks = {QStringLiteral("AUTO")};
    return r;
}

MqttPublisherOptions optionsFor(quint16 port) {
    MqttPublisherOptions o;
    o.url.host = QStringLiteral("127.0.0.1");
    o.url.port = port;
    o.url.topic = QStringLiteral("velkor/bench");
    return o;
}

bool waitDelivered(const MqttPublisher& p, std::uint64_t n) {
    const auto until = std::chrono::steady_clock::now() + 120s;
    while (p.stats().delivered < n) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        QThread::usleep(200);
    }
    return true;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Rows as fast as the logging side can hand them over, until the broker has
// acknowledged every one; the window of rows in flight as an argument.
void Throughput(benchmark::State& state) {
    test::MosquittoBroker broker;
    if (const QString error = broker.start(); !error.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    MqttPublisherOptions o = optionsFor(broker.port());
    o.maxInFlight = static_cast<int>(state.range(0));
    MqttPublisher publisher(o);
    publisher.start();
    constexpr int kRows = 50000;
    std::uint64_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < kRows; ++i) {
            publisher.publish(row(static_cast<qint64>(++sent)));
        }
        if (!waitDelivered(publisher, sent)) {
            state.SkipWithError("the broker did not acknowledge every row");
            return;
        }
    }
    publisher.stop();
    state.SetItemsProcessed(static_cast<std::int64_t>(sent));
    state.counters["dropped"] = static_cast<double>(publisher.stats().dropped);
}
BENCHMARK(Throughput)->Arg(20)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// 137 rows a second for ten seconds: the CPU the publisher's thread costs
// (this process's CPU without the thread that logs, paces and calls
// publish()) and what publish() costs the logging side, as shares of one
// core. The rows themselves are made beforehand.
void MeterPace(benchmark::State& state) {
    test::MosquittoBroker broker;
    if (const QString error = broker.start(); !error.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    MqttPublisher publisher(optionsFor(broker.port()));
    publisher.start();
    constexpr int kRate = 137;
    constexpr int kSeconds = 10;
    double process = 0;
    double logging = 0;
    double publishing = 0;
    double wall = 0;
    for (auto _ : state) {
        const double process0 = processCpuSeconds();
        const double thread0 = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        JsonReading r = row(0);
        for (int i = 0; i < kRate * kSeconds; ++i) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / kRate));
            r.no = i;
            const double t0 = threadCpuSeconds();
            publisher.publish(r);
            publishing += threadCpuSeconds() - t0;
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        process += processCpuSeconds() - process0;
        logging += threadCpuSeconds() - thread0;
        waitDelivered(publisher, static_cast<std::uint64_t>(kRate * kSeconds));
    }
    publisher.stop();
    state.counters["publisher_thread_cpu_percent"] = 100.0 * (process - logging) / wall;
    state.counters["publish_call_cpu_percent"] = 100.0 * publishing / wall;
}
BENCHMARK(MeterPace)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// publish() alone: the JSON of a row and its place in the queue, with no
// broker to take it (the oldest rows go once the queue is full).
void PublishCall(benchmark::State& state) {
    MqttPublisherOptions o = optionsFor(test::freeLoopbackPort());
    o.minBackoff = 60s;
    MqttPublisher publisher(o);
    publisher.start();
    const JsonReading r = row(1);
    for (auto _ : state) {
        publisher.publish(r);
    }
    publisher.stop(0ms);
}
BENCHMARK(PublishCall);

} // namespace

int main(int argc, char** argv) {
    return velkor::bench::runBenchmarks<QCoreApplication>(argc, argv);
}
