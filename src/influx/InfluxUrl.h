#pragma once

#include <QString>
#include <optional>

namespace velkor::influx {

// Where the rows go in InfluxDB, read (with QUrl) from one of
//   http[s]://[USER[:PASSWORD]@]HOST[:PORT][/BASE]/write?db=DB[&rp=POLICY]
//       InfluxDB 1.x; the password may come from VELKOR_INFLUX_PASSWORD
//   http[s]://HOST[:PORT][/BASE]/api/v2/write?org=ORG&bucket=BUCKET
//       InfluxDB 2.x (orgID=ID in place of org), the token from
//       VELKOR_INFLUX_TOKEN
// A token works with 1.x too (1.8 and later take "USER:PASSWORD" as one).
// Timestamps are written in nanoseconds, the servers' default, so the URL
// names no precision; parameters other than those above are refused, as a
// misspelt one would be ignored by the server.
struct InfluxTarget {
    enum class Api { V1, V2 };
    Api api = Api::V1;
    QString writeUrl; // what is asked, credentials left out
    QString shown;    // for messages: the URL without user, password or token
    QString database; // the database (1.x) or the bucket (2.x)
    QString user;     // empty: no basic authentication
    QString password;
    std::optional<QString> token; // sent as "Authorization: Token ..."
};

struct InfluxUrlParse {
    std::optional<InfluxTarget> target;
    QString error; // why the text is no InfluxDB write URL, when target is empty
};

// token and password come from the environment (VELKOR_INFLUX_TOKEN,
// VELKOR_INFLUX_PASSWORD); an empty one counts as not given.
InfluxUrlParse parseInfluxUrl(const QString& text, const std::optional<QString>& token = {},
                              const std::optional<QString>& password = {});

} // namespace velkor::influx
