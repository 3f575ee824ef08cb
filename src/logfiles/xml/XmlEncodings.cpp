#include "logfiles/xml/XmlEncodings.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <memory>

namespace velkor {

namespace {

// An encoding as the parser asks for it: each first byte either a
// character of its own, or the start of a sequence of 2 to 4 bytes that
// `convert` decodes.
struct Encoding {
    QStringDecoder decoder;
    int map[256];
};

// The character of a whole byte sequence; -1 when it is none.
int decodeSequence(QStringDecoder& decoder, const char* bytes, int length) {
    decoder.resetState();
    const QString out = decoder.decode(QByteArrayView(bytes, length));
    if (out.size() == 1 && !out[0].isSurrogate() && out[0] != QChar::ReplacementCharacter) {
        return out[0].unicode();
    }
    if (out.size() == 2 && out[0].isHighSurrogate() && out[1].isLowSurrogate()) {
        return static_cast<int>(QChar::surrogateToUcs4(out[0], out[1]));
    }
    return -1;
}

// How the encoding treats a first byte: its character (0 and up), the
// length of the sequence it starts (-2 to -4), or -1 when it starts none.
int firstByte(QStringDecoder& decoder, unsigned char b) {
    const char one = static_cast<char>(b);
    if (const int c = decodeSequence(decoder, &one, 1); c >= 0) {
        return c;
    }
    decoder.resetState();
    if (!QString(decoder.decode(QByteArrayView(&one, 1))).isEmpty()) {
        return -1; // a byte the encoding refuses
    }
    // A lead byte: the length of the shortest sequence it starts that
    // decodes to one character, tried with the usual trail bytes.
    static const unsigned char kTrails[] = {0xA1, 0x40, 0x80, 0x30, 0xE0};
    for (int length = 2; length <= 4; ++length) {
        for (const unsigned char t : kTrails) {
            char bytes[4] = {one, static_cast<char>(t), static_cast<char>(t),
                             static_cast<char>(t)};
            if (decodeSequence(decoder, bytes, length) >= 0) {
                return -length;
            }
        }
    }
    return -1;
}

int convert(void* data, const char* s) {
    auto* e = static_cast<Encoding*>(data);
    const int length = -e->map[static_cast<unsigned char>(*s)];
    return decodeSequence(e->decoder, s, length);
}

void release(void* data) {
    delete static_cast<Encoding*>(data);
}

int XMLCALL unknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    auto e = std::make_unique<Encoding>();
    e->decoder = QStringDecoder(name);
    if (!e->decoder.isValid()) {
        return XML_STATUS_ERROR;
    }
    bool multiByte = false;
    for (int b = 0; b < 256; ++b) {
        e->map[b] = firstByte(e->decoder, static_cast<unsigned char>(b));
        info->map[b] = e->map[b];
        multiByte = multiByte || e->map[b] < -1;
    }
    info->convert = multiByte ? convert : nullptr;
    info->release = release;
    info->data = e.release();
    return XML_STATUS_OK;
}

} // namespace

void installUnknownEncodings(XML_Parser parser) {
    XML_SetUnknownEncodingHandler(parser, unknownEncoding, nullptr);
}

} // namespace velkor
