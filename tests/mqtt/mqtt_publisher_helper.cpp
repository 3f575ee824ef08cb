// A publisher in a process of its own, for the test of the will: it
// connects to the broker of the URL given, prints "connected" once the
// broker has accepted it and then waits to be killed.

#include "mqtt/MqttPublisher.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: velkor-mqtt-test-publisher URL\n", stderr);
        return 2;
    }
    const auto parsed = velkor::mqtt::parseMqttUrl(QString::fromLocal8Bit(argv[1]));
    if (!parsed.url) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
        return 2;
    }
    velkor::mqtt::MqttPublisherOptions options;
    options.url = *parsed.url;
    velkor::mqtt::MqttPublisher publisher(options, [](const velkor::mqtt::MqttEvent& e) {
        if (e.kind == velkor::mqtt::MqttEventKind::Connected) {
            std::fputs("connected\n", stdout);
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(e.message));
        }
    });
    if (const auto error = publisher.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(*error));
        return 1;
    }
    for (;;) {
        ::pause();
    }
}
