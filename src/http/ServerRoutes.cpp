// The routes of the live view. Only these exist; no path of a request ever
// names a file.
//
//   /                 the page             /events        Server-Sent Events
//   /velkor.js        its script           /api/readings  the rows held, JSON
//   /velkor.css       its style            /api/log.csv   the rows held, CSV
//   /dygraph.min.js   the chart library    /metrics       Prometheus
//   /dygraph.min.css  its style            /display.ttf   the display's font
#include "http/Bodies.h"
#include "http/MeterMetrics.h"
#include "http/PageFiles.h"
#include "http/RequestParse.h"
#include "http/ServerCore.h"

#include <cstring>

namespace velkor::http {

namespace {

// Everything the page loads comes from this server; nothing may frame it.
constexpr const char* kContentSecurity =
    "default-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::optional<QByteArrayView> lookup(MHD_Connection* c, MHD_ValueKind kind, const char* key) {
    const char* value = nullptr;
    size_t size = 0;
    if (MHD_lookup_connection_value_n(c, kind, key, std::strlen(key), &value, &size) != MHD_YES ||
        value == nullptr) {
        return std::nullopt;
    }
    return QByteArrayView(value, static_cast<qsizetype>(size));
}

// Sends `response` (owned, released here) with the headers every answer has.
MHD_Result send(MHD_Connection* c, unsigned status, MHD_Response* response, const char* type,
                const char* cache = "no-store", const QByteArray& setCookie = {}) {
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, cache);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "Content-Security-Policy", kContentSecurity);
    if (!setCookie.isEmpty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_SET_COOKIE, setCookie.constData());
    }
    const MHD_Result r = MHD_queue_response(c, status, response);
    MHD_destroy_response(response);
    return r;
}

// A body that lives as long as the server (the page, the packaged files).
MHD_Response* lasting(QByteArrayView body) {
    return MHD_create_response_from_buffer(static_cast<size_t>(body.size()),
                                           const_cast<char*>(body.data()), MHD_RESPMEM_PERSISTENT);
}

MHD_Response* copied(const QByteArray& body) {
    return MHD_create_response_from_buffer(static_cast<size_t>(body.size()),
                                           const_cast<char*>(body.constData()),
                                           MHD_RESPMEM_MUST_COPY);
}

MHD_Result plain(MHD_Connection* c, unsigned status, const QByteArray& text,
                 const QByteArray& setCookie = {}) {
    return send(c, status, copied(text), "text/plain; charset=utf-8", "no-store", setCookie);
}

MHD_Result pieces(MHD_Connection* c, PieceBody* body, const char* type,
                  const QByteArray& setCookie) {
    MHD_Response* response = body->response();
    if (response == nullptr) {
        delete body;
        return MHD_NO;
    }
    return send(c, MHD_HTTP_OK, response, type, "no-store", setCookie);
}

} // namespace

MHD_Result ServerCore::answer(MHD_Connection* c, const char* url, const char* method) {
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
        MHD_Response* r = copied("Only GET and HEAD: this server only shows.\n");
        if (r != nullptr) {
            MHD_add_response_header(r, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        }
        return send(c, MHD_HTTP_METHOD_NOT_ALLOWED, r, "text/plain; charset=utf-8");
    }

    const AccessRequest request{lookup(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION),
                                lookup(c, MHD_COOKIE_KIND, kTokenCookie),
                                lookup(c, MHD_GET_ARGUMENT_KIND, "token"),
                                lookup(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST)};
    const Access access = decideAccess(policy, request);
    if (access == Access::WrongHost) {
        return plain(c, MHD_HTTP_FORBIDDEN,
                     "This server answers to localhost, 127.0.0.1 and [::1] only.\n");
    }
    if (access == Access::NoToken) {
        MHD_Response* r = copied("This logger asks for its token: open /?token=TOKEN once, or "
                                 "send Authorization: Bearer TOKEN.\n");
        if (r != nullptr) {
            MHD_add_response_header(r, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer realm=\"velkor\"");
        }
        return send(c, MHD_HTTP_UNAUTHORIZED, r, "text/plain; charset=utf-8");
    }
    const QByteArray cookie =
        access == Access::GrantedByQuery ? tokenSetCookie(policy.token) : QByteArray();

    const QByteArrayView route(url);
    if (route == "/" && !cookie.isEmpty()) {
        // The cookie now carries the token: the page again without it, so
        // that it stays out of the address bar and the history.
        MHD_Response* r = copied({});
        if (r != nullptr) {
            MHD_add_response_header(r, MHD_HTTP_HEADER_LOCATION, "/");
        }
        return send(c, MHD_HTTP_SEE_OTHER, r, "text/plain; charset=utf-8", "no-store", cookie);
    }
    if (const PageFile* file = pageFile(route)) {
        return send(c, MHD_HTTP_OK, lasting(file->body), file->contentType, "no-cache", cookie);
    }
    if (route == "/events") {
        const StreamStartParse start =
            parseStreamStart(lookup(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_LAST_EVENT_ID),
                             lookup(c, MHD_GET_ARGUMENT_KIND, "last"));
        if (!start.start) {
            return plain(c, MHD_HTTP_BAD_REQUEST, start.error + '\n');
        }
        MHD_Response* response = nullptr;
        auto* stream = new EventStream(*this, c, *start.start);
        response = stream->response();
        if (response == nullptr) {
            delete stream;
            return MHD_NO;
        }
        // Proxies should pass the events on as they come.
        MHD_add_response_header(response, "X-Accel-Buffering", "no");
        return send(c, MHD_HTTP_OK, response, "text/event-stream; charset=utf-8", "no-store",
                    cookie);
    }
    if (route == "/api/readings") {
        const ReadingsQueryParse q = parseReadingsQuery(lookup(c, MHD_GET_ARGUMENT_KIND, "since"),
                                                        lookup(c, MHD_GET_ARGUMENT_KIND, "last"));
        if (!q.query) {
            return plain(c, MHD_HTTP_BAD_REQUEST, q.error + '\n');
        }
        const HeldRows& held = state.held();
        const std::size_t from = held.indexAfter(q.query->since);
        std::size_t to = held.size(); // one past the last row given
        std::size_t first = from;
        if (q.query->last) {
            const auto n = static_cast<std::size_t>(*q.query->last);
            first = to - from > n ? to - n : from;
        } else if (to - from > static_cast<std::size_t>(kMaxRowsPerAnswer)) {
            to = from + static_cast<std::size_t>(kMaxRowsPerAnswer);
        }
        const qint64 after = first < held.size() ? held.noBefore(first) : held.lastNo();
        const qint64 upTo = to > first ? held.noAt(to - 1) : after;
        return pieces(c, new RowsBody(*this, RowsBody::Form::Json, after, upTo), "application/json",
                      cookie);
    }
    if (route == "/api/log.csv") {
        const HeldRows& held = state.held();
        const qint64 after = held.empty() ? 0 : held.noBefore(0);
        return pieces(c, new RowsBody(*this, RowsBody::Form::Csv, after, held.lastNo()),
                      "text/csv; charset=utf-8; header=present", cookie);
    }
    if (route == "/metrics") {
        return send(c, MHD_HTTP_OK, copied(state.metrics().exposition()), kMetricsContentType,
                    "no-store", cookie);
    }
    const struct {
        const char* route;
        const QByteArray& body;
        const char* type;
    } packaged[] = {
        {"/dygraph.min.js", chartScript, "text/javascript; charset=utf-8"},
        {"/dygraph.min.css", chartStyle, "text/css; charset=utf-8"},
        {"/display.ttf", displayFont, "font/ttf"},
    };
    for (const auto& p : packaged) {
        if (route == p.route && !p.body.isEmpty()) {
            return send(c, MHD_HTTP_OK, lasting(p.body), p.type, "max-age=86400", cookie);
        }
    }
    return plain(c, MHD_HTTP_NOT_FOUND,
                 "Not found. This server has /, /events, /api/readings?since=N, /api/log.csv "
                 "and /metrics.\n",
                 cookie);
}

} // namespace velkor::http
