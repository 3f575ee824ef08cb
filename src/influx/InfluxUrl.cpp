#include "influx/InfluxUrl.h"

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace velkor::influx {

namespace {

const QString kForms =
    QStringLiteral("http://HOST:8086/write?db=DB for InfluxDB 1.x, "
                   "http://HOST:8086/api/v2/write?org=ORG&bucket=BUCKET for 2.x");

InfluxUrlParse failure(const QString& why) {
    return {std::nullopt, why};
}

bool given(const std::optional<QString>& text) {
    return text && !text->isEmpty();
}

} // namespace

InfluxUrlParse parseInfluxUrl(const QString& text, const std::optional<QString>& token,
                              const std::optional<QString>& password) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        return failure(QStringLiteral("an InfluxDB URL is %1").arg(kForms));
    }
    if (url.host().isEmpty()) {
        return failure(QStringLiteral("the InfluxDB URL names no host (%1)").arg(kForms));
    }
    if (url.hasFragment()) {
        return failure(QStringLiteral("the InfluxDB URL has a '#' part, which no server reads"));
    }
    InfluxTarget t;
    const QString path = url.path();
    QStringList allowed;
    QStringList required;
    if (path.endsWith(QLatin1String("/api/v2/write"))) {
        t.api = InfluxTarget::Api::V2;
        allowed = {QStringLiteral("org"), QStringLiteral("orgID"), QStringLiteral("bucket")};
        required = {QStringLiteral("bucket")};
    } else if (path.endsWith(QLatin1String("/write"))) {
        t.api = InfluxTarget::Api::V1;
        allowed = {QStringLiteral("db"), QStringLiteral("rp"), QStringLiteral("consistency")};
        required = {QStringLiteral("db")};
    } else {
        return failure(QStringLiteral("the InfluxDB URL's path ends in /write (1.x) or "
                                      "/api/v2/write (2.x): %1")
                           .arg(kForms));
    }

    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("precision")) {
            return failure(QStringLiteral("the InfluxDB URL must not set a precision: the "
                                          "timestamps are written in nanoseconds"));
        }
        if (!allowed.contains(key)) {
            return failure(QStringLiteral("the InfluxDB URL has '%1', which this write API does "
                                          "not take (it takes %2)")
                               .arg(key, allowed.join(QStringLiteral(", "))));
        }
        if (value.isEmpty()) {
            return failure(QStringLiteral("'%1' in the InfluxDB URL is empty").arg(key));
        }
    }
    for (const QString& key : required) {
        if (!query.hasQueryItem(key)) {
            return failure(QStringLiteral("the InfluxDB URL needs %1=NAME (%2)").arg(key, kForms));
        }
    }
    if (t.api == InfluxTarget::Api::V2 && !query.hasQueryItem(QStringLiteral("org")) &&
        !query.hasQueryItem(QStringLiteral("orgID"))) {
        return failure(
            QStringLiteral("the InfluxDB 2.x URL needs org=ORG or orgID=ID (%1)").arg(kForms));
    }
    t.database = query.queryItemValue(t.api == InfluxTarget::Api::V2 ? QStringLiteral("bucket")
                                                                     : QStringLiteral("db"),
                                      QUrl::FullyDecoded);

    t.user = url.userName(QUrl::FullyDecoded);
    if (!url.userInfo().isEmpty() && t.user.isEmpty()) {
        return failure(QStringLiteral("the InfluxDB URL has an '@' but no user name before it"));
    }
    if (!t.user.isEmpty() && t.api == InfluxTarget::Api::V2) {
        return failure(QStringLiteral("InfluxDB 2.x takes a token, not a user: give it in "
                                      "VELKOR_INFLUX_TOKEN"));
    }
    const bool passwordInUrl = url.userInfo(QUrl::FullyEncoded).contains(QLatin1Char(':'));
    t.password = passwordInUrl ? url.password(QUrl::FullyDecoded) : password.value_or(QString());
    if (!t.user.isEmpty() && given(token)) {
        return failure(QStringLiteral("VELKOR_INFLUX_TOKEN is set and the InfluxDB URL names a "
                                      "user: give one of the two"));
    }
    if (given(password) && t.user.isEmpty()) {
        return failure(QStringLiteral("VELKOR_INFLUX_PASSWORD is set but the InfluxDB URL names "
                                      "no user (http://USER@HOST:8086/write?db=DB)"));
    }
    if (given(token)) {
        t.token = *token;
    } else if (t.api == InfluxTarget::Api::V2) {
        return failure(QStringLiteral("InfluxDB 2.x needs a token: set VELKOR_INFLUX_TOKEN"));
    }

    QUrl bare = url.adjusted(QUrl::RemoveUserInfo);
    t.writeUrl = bare.toString(QUrl::FullyEncoded);
    t.shown = bare.toDisplayString();
    return {std::move(t), {}};
}

} // namespace velkor::influx
