// What the live view reads from outside, each step on its own: the listen
// address of --http, the token rules, the row numbers of a request.
#include "http/Access.h"
#include "http/ListenAddress.h"
#include "http/RequestParse.h"

#include <gtest/gtest.h>

namespace velkor::http {
namespace {

struct AddressCase {
    const char* text;
    const char* host; // nullptr: refused
    quint16 port;
    bool ipv6;
    bool loopback;
};

TEST(ListenAddress, PortsAndAddressesAsGiven) {
    const AddressCase cases[] = {
        {"8080", "127.0.0.1", 8080, false, true},
        {"0", "127.0.0.1", 0, false, true},
        {"0.0.0.0:8080", "0.0.0.0", 8080, false, false},
        {"192.168.1.20:80", "192.168.1.20", 80, false, false},
        {"127.0.0.2:65535", "127.0.0.2", 65535, false, true},
        {"localhost:8080", "127.0.0.1", 8080, false, true},
        {"LOCALHOST:1", "127.0.0.1", 1, false, true},
        {"[::1]:8080", "::1", 8080, true, true},
        {"[::]:8080", "::", 8080, true, false},
        {"[::ffff:127.0.0.1]:8080", "::ffff:127.0.0.1", 8080, true, true},
        {"[fe80::1]:9", "fe80::1", 9, true, false},
        {"", nullptr, 0, false, false},
        {"65536", nullptr, 0, false, false},
        {"-1", nullptr, 0, false, false},
        {"80a", nullptr, 0, false, false},
        {"123456", nullptr, 0, false, false},
        {"0.0.0.0:", nullptr, 0, false, false},
        {":8080", nullptr, 0, false, false},
        {"bench-pi:8080", nullptr, 0, false, false},
        {"256.1.1.1:8080", nullptr, 0, false, false},
        {"::1:8080", nullptr, 0, false, false},
        {"[::1]8080", nullptr, 0, false, false},
        {"[::1", nullptr, 0, false, false},
        {"[bench]:8080", nullptr, 0, false, false},
        {"[127.0.0.1]:8080", nullptr, 0, false, false},
    };
    for (const AddressCase& c : cases) {
        const ListenParse p = parseListenAddress(QString::fromUtf8(c.text));
        if (!c.host) {
            EXPECT_FALSE(p.address.has_value()) << c.text;
            EXPECT_FALSE(p.error.isEmpty()) << c.text;
            continue;
        }
        ASSERT_TRUE(p.address.has_value()) << c.text << ": " << p.error.toStdString();
        EXPECT_EQ(p.address->host, QString::fromUtf8(c.host)) << c.text;
        EXPECT_EQ(p.address->port, c.port) << c.text;
        EXPECT_EQ(p.address->ipv6, c.ipv6) << c.text;
        EXPECT_EQ(p.address->isLoopback(), c.loopback) << c.text;
    }
    EXPECT_EQ(parseListenAddress(u"[::1]:0").address->hostPort(4321), QStringLiteral("[::1]:4321"));
    EXPECT_EQ(parseListenAddress(u"8080").address->hostPort(8080),
              QStringLiteral("127.0.0.1:8080"));
}

constexpr const char* kToken = "0123456789abcdef-._~XYZ";

struct AccessCase {
    const char* name;
    bool token;     // the server asks for kToken
    bool checkHost; // loopback names only
    std::optional<QByteArray> authorization, cookie, query, host;
    Access expected;
};

// The token rules: any one of the three ways with the right token opens
// the server, the query's way sets the cookie; without a token a loopback
// server answers loopback names only.
TEST(Access, TheTokenRules) {
    const QByteArray bearer = QByteArray("Bearer ") + kToken;
    const AccessCase cases[] = {
        {"open, any host", false, false, {}, {}, {}, "bench-pi:8080", Access::Granted},
        {"open, no host", false, false, {}, {}, {}, {}, Access::Granted},
        {"loopback, localhost", false, true, {}, {}, {}, "localhost:8080", Access::Granted},
        {"loopback, 127.0.0.1", false, true, {}, {}, {}, "127.0.0.1:8080", Access::Granted},
        {"loopback, [::1]", false, true, {}, {}, {}, "[::1]:8080", Access::Granted},
        {"loopback, other name", false, true, {}, {}, {}, "evil.example:8080", Access::WrongHost},
        {"loopback, a name with 127 in it",
         false,
         true,
         {},
         {},
         {},
         "127.0.0.1.evil.example",
         Access::WrongHost},
        {"loopback, no host", false, true, {}, {}, {}, {}, Access::WrongHost},
        {"token, nothing", true, false, {}, {}, {}, "h", Access::NoToken},
        {"token, bearer", true, false, bearer, {}, {}, "h", Access::Granted},
        {"token, bearer any case",
         true,
         false,
         QByteArray("bEARER  ") + kToken + " ",
         {},
         {},
         "h",
         Access::Granted},
        {"token, bearer wrong",
         true,
         false,
         "Bearer 0123456789abcdef-._~XYz",
         {},
         {},
         "h",
         Access::NoToken},
        {"token, bearer longer", true, false, bearer + "0", {}, {}, "h", Access::NoToken},
        {"token, bearer shorter", true, false, bearer.chopped(1), {}, {}, "h", Access::NoToken},
        {"token, basic scheme",
         true,
         false,
         QByteArray("Basic ") + kToken,
         {},
         {},
         "h",
         Access::NoToken},
        {"token, bare token as header", true, false, kToken, {}, {}, "h", Access::NoToken},
        {"token, empty bearer", true, false, "Bearer ", {}, {}, "h", Access::NoToken},
        {"token, cookie", true, false, {}, kToken, {}, "h", Access::Granted},
        {"token, cookie wrong", true, false, {}, "x", {}, "h", Access::NoToken},
        {"token, query", true, false, {}, {}, kToken, "h", Access::GrantedByQuery},
        {"token, query wrong", true, false, {}, {}, "wrong", "h", Access::NoToken},
        {"token, query empty", true, false, {}, {}, "", "h", Access::NoToken},
        {"token, wrong bearer, right cookie",
         true,
         false,
         "Bearer x",
         kToken,
         {},
         "h",
         Access::Granted},
        {"token on loopback, any host",
         true,
         false,
         bearer,
         {},
         {},
         "evil.example",
         Access::Granted},
    };
    for (const AccessCase& c : cases) {
        AccessPolicy policy;
        policy.token = c.token ? QByteArray(kToken) : QByteArray();
        policy.checkHost = c.checkHost;
        auto view = [](const std::optional<QByteArray>& a) {
            return a ? std::optional<QByteArrayView>(*a) : std::nullopt;
        };
        const AccessRequest request{view(c.authorization), view(c.cookie), view(c.query),
                                    view(c.host)};
        EXPECT_EQ(decideAccess(policy, request), c.expected) << c.name;
    }
}

TEST(Access, TokensThatCanBeUsed) {
    EXPECT_EQ(tokenProblem(kToken), std::nullopt);
    EXPECT_EQ(tokenProblem(QByteArray(256, 'a')), std::nullopt);
    for (const QByteArray& bad :
         {QByteArray(), QByteArray(15, 'a'), QByteArray(257, 'a'), QByteArray("0123456789abcdef "),
          QByteArray("0123456789abcdef;"), QByteArray("0123456789abcdef+"),
          QByteArray("0123456789abcdef\xC3\xA9"), QByteArray("0123456789abcdef\n")}) {
        EXPECT_TRUE(tokenProblem(bad).has_value()) << bad.constData();
    }
    EXPECT_EQ(tokenSetCookie("abc"),
              QByteArray("velkor_token=abc; Path=/; HttpOnly; SameSite=Strict"));
}

struct NumberCase {
    const char* text;
    std::optional<qint64> value;
};

TEST(RequestParse, RowNumbers) {
    const NumberCase cases[] = {
        {"0", 0},
        {"12", 12},
        {"007", 7},
        {"999999999999999999", 999999999999999999LL},
        {"1000000000000000000", std::nullopt},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {" 1", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
        {"0x10", std::nullopt},
        {"\xEF\xBC\x91", std::nullopt}, // a full-width digit
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(parseRowNumber(c.text), c.value) << c.text;
    }
}

TEST(RequestParse, TheReadingsQuery) {
    const auto none = parseReadingsQuery(std::nullopt, std::nullopt);
    ASSERT_TRUE(none.query);
    EXPECT_EQ(none.query->since, 0);
    EXPECT_FALSE(none.query->last);
    const auto both = parseReadingsQuery("41", "10");
    ASSERT_TRUE(both.query);
    EXPECT_EQ(both.query->since, 41);
    EXPECT_EQ(both.query->last, 10);
    EXPECT_EQ(parseReadingsQuery(std::nullopt, "10000").query->last, kMaxRowsPerAnswer);
    for (const auto& [since, last] : std::initializer_list<
             std::pair<std::optional<QByteArrayView>, std::optional<QByteArrayView>>>{
             {"x", {}}, {"", {}}, {"-5", {}}, {{}, "0"}, {{}, "10001"}, {{}, ""}, {{}, "ten"}}) {
        const auto p = parseReadingsQuery(since, last);
        EXPECT_FALSE(p.query) << (since ? since->toByteArray().constData() : "-") << " "
                              << (last ? last->toByteArray().constData() : "-");
        EXPECT_FALSE(p.error.isEmpty());
    }
}

TEST(RequestParse, WhereAStreamStarts) {
    const auto fresh = parseStreamStart(std::nullopt, "300");
    ASSERT_TRUE(fresh.start);
    EXPECT_FALSE(fresh.start->after);
    EXPECT_EQ(fresh.start->last, 300);
    const auto back = parseStreamStart(" 1234 ", std::nullopt);
    ASSERT_TRUE(back.start);
    EXPECT_EQ(back.start->after, 1234);
    EXPECT_EQ(back.start->last, 0);
    // An id that is no row number is as none; a bad last= is an error.
    const auto junk = parseStreamStart("abc", std::nullopt);
    ASSERT_TRUE(junk.start);
    EXPECT_FALSE(junk.start->after);
    EXPECT_FALSE(parseStreamStart(std::nullopt, "-1").start);
}

} // namespace
} // namespace velkor::http
