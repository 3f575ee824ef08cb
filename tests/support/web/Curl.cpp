#include "support/web/Curl.h"

namespace velkor::test {

QByteArray HttpAnswer::header(const QByteArray& name) const {
    for (const QByteArray& line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

HttpAnswer curl(const QString& url, const QStringList& args) {
    QProcess p;
    QStringList all{QStringLiteral("-s"),         QStringLiteral("-S"),
                    QStringLiteral("-D"),         QStringLiteral("/dev/stderr"),
                    QStringLiteral("--max-time"), QStringLiteral("30"),
                    QStringLiteral("-o"),         QStringLiteral("-")};
    all << args << url;
    p.start(QStringLiteral(VELKOR_CURL), all);
    HttpAnswer a;
    if (!p.waitForFinished(40000)) {
        p.kill();
        p.waitForFinished();
        return a;
    }
    a.body = p.readAllStandardOutput();
    a.headers = p.readAllStandardError();
    // The last status line (a 100 Continue may come first).
    for (const QByteArray& line : a.headers.split('\n')) {
        if (line.startsWith("HTTP/")) {
            a.status = line.split(' ').value(1).toInt();
        }
    }
    return a;
}

QList<SseEvent> parseEvents(QByteArray& text) {
    QList<SseEvent> out;
    for (;;) {
        const qsizetype end = text.indexOf("\n\n");
        if (end < 0) {
            break;
        }
        const QByteArray block = text.left(end);
        text.remove(0, end + 2);
        SseEvent e;
        bool any = false;
        for (const QByteArray& line : block.split('\n')) {
            if (line.startsWith(':') || line.startsWith("retry:")) {
                continue;
            }
            const qsizetype colon = line.indexOf(':');
            const QByteArray field = colon < 0 ? line : line.left(colon);
            QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1);
            if (value.startsWith(' ')) {
                value.remove(0, 1);
            }
            if (field == "id") {
                e.id = value;
            } else if (field == "event") {
                e.event = value;
            } else if (field == "data") {
                e.data += e.data.isEmpty() ? value : '\n' + value;
                any = true;
            }
        }
        if (any) {
            out.append(e);
        }
    }
    return out;
}

CurlStream::CurlStream(const QString& url, const QStringList& args) {
    QStringList all{QStringLiteral("-s"), QStringLiteral("-N")};
    all << args << url;
    process.start(QStringLiteral(VELKOR_CURL), all);
}

CurlStream::~CurlStream() {
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void CurlStream::take() {
    buffer_ += process.readAllStandardOutput();
    for (const SseEvent& e : parseEvents(buffer_)) {
        events_.append(e);
        if (e.event.isEmpty()) {
            readings_.append(e);
        }
    }
}

bool CurlStream::waitEnd(int timeoutMs) {
    const bool ended =
        pumpUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    take();
    return ended;
}

} // namespace velkor::test
