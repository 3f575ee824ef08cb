#!/usr/bin/env python3
"""A stand-in for InfluxDB 2.x's write endpoint, for tests: Debian's
influxdb package is 1.6, which has no /api/v2/write. It checks the request
as InfluxDB 2.x documents it (POST /api/v2/write?org=ORG&bucket=BUCKET,
"Authorization: Token TOKEN", line protocol, optionally gzip-compressed),
answers as the server would, and appends each request it took to a JSON
lines file for the test to read. Prints "listening PORT" once it accepts
connections on 127.0.0.1, and serves until terminated.

  fake_influx2.py --token T --org O --bucket B --log FILE
                  [--unavailable N] [--refuse-gzip]
--unavailable N answers the first N writes with 503 and Retry-After: 1;
--refuse-gzip answers gzip-compressed bodies with 415.
"""
import argparse
import gzip
import http.server
import json
import sys
import urllib.parse


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--token", required=True)
    parser.add_argument("--org", required=True)
    parser.add_argument("--bucket", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--unavailable", type=int, default=0)
    parser.add_argument("--refuse-gzip", action="store_true")
    args = parser.parse_args()
    state = {"unavailable": args.unavailable}

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def answer(self, status, code=None, message=None, headers=()):
            body = b""
            if code:
                body = json.dumps({"code": code, "message": message}).encode()
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            if body:
                self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            url = urllib.parse.urlsplit(self.path)
            query = urllib.parse.parse_qs(url.query)
            raw = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            if url.path != "/api/v2/write":
                return self.answer(404, "not found", "path not found")
            if self.headers.get("Authorization") != "Token " + args.token:
                return self.answer(401, "unauthorized", "unauthorized access")
            if query.get("org") != [args.org]:
                return self.answer(404, "not found", 'organization name "%s" not found'
                                   % ",".join(query.get("org", [])))
            if query.get("bucket") != [args.bucket]:
                return self.answer(404, "not found", 'bucket "%s" not found'
                                   % ",".join(query.get("bucket", [])))
            encoding = self.headers.get("Content-Encoding", "")
            if encoding == "gzip" and args.refuse_gzip:
                return self.answer(415, "unsupported media type", "gzip is not taken here")
            if state["unavailable"] > 0:
                state["unavailable"] -= 1
                return self.answer(503, "unavailable", "temporarily unavailable",
                                   [("Retry-After", "1")])
            body = gzip.decompress(raw) if encoding == "gzip" else raw
            lines = [l for l in body.decode("utf-8").split("\n") if l]
            for line in lines:
                if " " not in line:
                    return self.answer(400, "invalid", "unable to parse '%s'" % line)
            record = {"query": url.query, "encoding": encoding,
                      "contentType": self.headers.get("Content-Type", ""), "lines": lines}
            with open(args.log, "a", encoding="utf-8") as out:
                out.write(json.dumps(record) + "\n")
            self.answer(204)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print("listening %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
