// The raw-byte check that refuses oversized tags before an XML parser sees
// them: what counts as an attribute, what is skipped, and that the answer
// does not depend on how the bytes are sliced.
#include "record/MarkupGuard.h"

#include <QByteArray>
#include <gtest/gtest.h>

using namespace velkor;

namespace {

using Verdict = MarkupGuard::Verdict;

struct GuardCase {
    const char* name;
    QByteArray xml;
    Verdict verdict;
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

QByteArray attributes(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        out += " a" + QByteArray::number(i) + "='1'";
    }
    return out;
}

constexpr int kMaxAttributes = 4;
constexpr qint64 kMaxTagBytes = 64;

Verdict scanIn(const QByteArray& xml, qsizetype slice) {
    MarkupGuard guard(kMaxAttributes, kMaxTagBytes);
    for (qsizetype at = 0; at < xml.size(); at += slice) {
        const Verdict v = guard.scan(xml.constData() + at, std::min(slice, xml.size() - at));
        if (v != Verdict::Ok) {
            return v;
        }
    }
    return Verdict::Ok;
}

class MarkupGuardCases : public ::testing::TestWithParam<GuardCase> {};

TEST_P(MarkupGuardCases, SameVerdictHoweverTheBytesAreSliced) {
    for (const qsizetype slice : {qsizetype(1), qsizetype(2), qsizetype(7), qsizetype(1 << 20)}) {
        EXPECT_EQ(scanIn(GetParam().xml, slice), GetParam().verdict) << "slices of " << slice;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, MarkupGuardCases,
    ::testing::Values(
        GuardCase{"AttributesAtTheLimit", "<r><a" + attributes(4) + "/></r>", Verdict::Ok},
        GuardCase{"OneAttributeTooMany", "<r><a" + attributes(5) + "/></r>",
                  Verdict::TooManyAttributes},
        GuardCase{"EqualsSignsInValuesAndTextDoNotCount",
                  "<r><a x=\"=====\" y='\"=>=' z=\"<>\"/>a=b=c=d=e=f</r>", Verdict::Ok},
        GuardCase{"CommentsCdataAndInstructionsAreSkipped",
                  "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>"
                  "<r><!-- <a b=1 c=2 d=3 e=4 f=5> - -> --><![CDATA[<a b=1 c=2 d=3 e=4 f=5>]]]>"
                  "<?pi a=1 b=2 c=3 d=4 e=5 ?></r>",
                  Verdict::Ok},
        GuardCase{"EndTagsAndDeclarationsCountNoAttributes",
                  "<!DOCTYPE r SYSTEM 'a=b=c=d=e=f'><r></r a=1 b=2 c=3 d=4 e=5>", Verdict::Ok},
        GuardCase{"TagOfManyBytes", "<r><a v='" + QByteArray(80, 'x') + "'/></r>",
                  Verdict::TagTooLarge},
        GuardCase{"TextOfManyBytesIsNoTag", "<r>" + QByteArray(1000, 'x') + "</r>", Verdict::Ok},
        GuardCase{"UnclosedQuoteRunsToTheLimit", "<r><a v='" + QByteArray(1000, '>'),
                  Verdict::TagTooLarge},
        GuardCase{"ManyAttributesAfterACommentWithClosers",
                  "<r><!--->-->--><a" + attributes(5) + "/></r>", Verdict::TooManyAttributes}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MarkupGuard, GivesWhereTheLimitWasPassed) {
    const QByteArray xml = "<r><a" + attributes(5) + "/></r>";
    MarkupGuard guard(kMaxAttributes, kMaxTagBytes);
    ASSERT_EQ(guard.scan(xml.constData(), xml.size()), Verdict::TooManyAttributes);
    const qsizetype fifthEquals = xml.indexOf("a4=") + 3;
    EXPECT_EQ(guard.offset(), fifthEquals);
}

} // namespace
