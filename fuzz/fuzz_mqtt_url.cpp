// The broker's URL of velkor-cli log --mqtt, with and without a password
// from the environment.
#include "FuzzInput.h"
#include "mqtt/MqttUrl.h"

using namespace velkor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytesOf(data, size));
    mqtt::parseMqttUrl(text);
    mqtt::parseMqttUrl(text, QStringLiteral("secret"));
    return 0;
}
