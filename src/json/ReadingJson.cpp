#include "json/ReadingJson.h"

#include "record/Timestamp.h"

#include <QStringEncoder>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace velkor::json {

namespace {

void appendEscape(QByteArray& out, char16_t unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(unit));
    out += buf;
}

void appendNumber(QByteArray& out, double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr - buf);
}

void appendKey(QByteArray& out, const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
}

} // namespace

void appendJsonString(QByteArray& out, QStringView text) {
    // Runs of characters that need no escape go through Qt's UTF-8 encoder,
    // which writes half a surrogate pair (no character) as U+FFFD.
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        const QStringView run = text.sliced(runStart, end - runStart);
        if (!run.isEmpty()) {
            const qsizetype used = out.size();
            out.resize(used + utf8.requiredSpace(run.size()));
            char* const written = utf8.appendToBuffer(out.data() + used, run);
            out.truncate(written - out.constData());
        }
    };
    out += '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const char* escape = nullptr;
        switch (u) {
        case '"': escape = "\\\""; break;
        case '\\': escape = "\\\\"; break;
        case '\b': escape = "\\b"; break;
        case '\f': escape = "\\f"; break;
        case '\n': escape = "\\n"; break;
        case '\r': escape = "\\r"; break;
        case '\t': escape = "\\t"; break;
        default: break;
        }
        // Control characters must be escaped; the two line separators are,
        // so that the text can also be embedded in JavaScript.
        if (!escape && u >= 0x20 && u != 0x2028 && u != 0x2029) {
            continue;
        }
        flushRun(i);
        if (escape) {
            out += escape;
        } else {
            appendEscape(out, u);
        }
        runStart = i + 1;
    }
    flushRun(text.size());
    out += '"';
}

QByteArray readingJson(const JsonReading& r) {
    QByteArray out;
    out.reserve(160 + 2 * (r.function.size() + r.value.size() + r.unit.size() + r.judge.size()));
    out += '{';
    appendKey(out, "no");
    out += QByteArray::number(r.no);
    appendKey(out, "timestamp");
    if (const QByteArray stamp = isoTimestampUtf8(r.timestamp); !stamp.isEmpty()) {
        out += '"';
        out += stamp;
        out += '"';
    } else {
        out += "null";
    }
    appendKey(out, "function");
    appendJsonString(out, r.function);
    appendKey(out, "value");
    appendJsonString(out, r.value);
    appendKey(out, "unit");
    appendJsonString(out, r.unit);
    appendKey(out, "si");
    if (r.si && std::isfinite(*r.si)) {
        appendNumber(out, *r.si);
    } else {
        out += "null";
    }
    appendKey(out, "judge");
    appendJsonString(out, r.judge);
    appendKey(out, "marks");
    out += '[';
    for (qsizetype i = 0; i < r.marks.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendJsonString(out, r.marks[i]);
    }
    out += "]}";
    return out;
}

} // namespace velkor::json
