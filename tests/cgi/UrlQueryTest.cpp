// Percent-encoding of values in camera query strings.

#include "UrlQuery.h"

#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    QString in;
    QString out;
};

class UrlQueryEncodeTest : public ::testing::TestWithParam<Case> {};

TEST_P(UrlQueryEncodeTest, Encodes)
{
    EXPECT_EQ(UrlQueryEncode(GetParam().in).toStdString(), GetParam().out.toStdString());
}

// Ordinary credentials must go out byte for byte as they always did.
INSTANTIATE_TEST_SUITE_P(
    Unchanged, UrlQueryEncodeTest,
    ::testing::Values(
        Case{"empty", QString(), QString()},
        Case{"factoryUser", QStringLiteral("admin"), QStringLiteral("admin")},
        Case{"lettersDigits", QStringLiteral("Abc123xyZ"), QStringLiteral("Abc123xyZ")},
        Case{"unreserved", QStringLiteral("a-b.c_d~e"), QStringLiteral("a-b.c_d~e")},
        Case{"harmlessMarks", QStringLiteral("!$'()*,;:@/"), QStringLiteral("!$'()*,;:@/")},
        Case{"otherPrintable", QStringLiteral("[]{}|\\^`\"<>"), QStringLiteral("[]{}|\\^`\"<>")}),
    [](const auto& info) { return std::string(info.param.name); });

// Exactly the characters that would change the query's structure or are not URL-safe.
INSTANTIATE_TEST_SUITE_P(
    Escaped, UrlQueryEncodeTest,
    ::testing::Values(
        Case{"ampersand", QStringLiteral("a&b"), QStringLiteral("a%26b")},
        Case{"hash", QStringLiteral("a#b"), QStringLiteral("a%23b")},
        Case{"percent", QStringLiteral("100%"), QStringLiteral("100%25")},
        Case{"percentLikeEscape", QStringLiteral("%41"), QStringLiteral("%2541")},
        Case{"plus", QStringLiteral("a+b"), QStringLiteral("a%2Bb")},
        Case{"equals", QStringLiteral("a=b"), QStringLiteral("a%3Db")},
        Case{"question", QStringLiteral("a?b"), QStringLiteral("a%3Fb")},
        Case{"blank", QStringLiteral("my pass"), QStringLiteral("my%20pass")},
        Case{"tab", QStringLiteral("a\tb"), QStringLiteral("a%09b")},
        Case{"newline", QStringLiteral("a\r\nb"), QStringLiteral("a%0D%0Ab")},
        Case{"delete", QStringLiteral("a\x7f"), QStringLiteral("a%7F")},
        Case{"latin1", QStringLiteral("p\u00e4ss"), QStringLiteral("p%C3%A4ss")},
        Case{"cjk", QStringLiteral("\u4e2d"), QStringLiteral("%E4%B8%AD")},
        Case{"astral", QStringLiteral("\U0001F600"), QStringLiteral("%F0%9F%98%80")},
        Case{"mixed", QStringLiteral("p&ss w=rd#1+%"),
             QStringLiteral("p%26ss%20w%3Drd%231%2B%25")}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever goes in comes back out of a standard query decoder, as one value.
TEST(UrlQueryEncode, DecodesBackToTheSameSingleValue)
{
    const QString values[] = {
        QStringLiteral("admin"),          QStringLiteral("p&ss=word"),
        QStringLiteral("#?+% ;"),         QStringLiteral("\u00fcber \u4e2d\u6587"),
        QStringLiteral("&pwd=evil&x=1"),  QStringLiteral(" leading and trailing "),
    };
    for (const QString& v : values) {
        const QString query = QStringLiteral("user=") + UrlQueryEncode(v) + QStringLiteral("&pwd=x");
        const QUrlQuery q(query);
        EXPECT_EQ(q.queryItems(QUrl::FullyDecoded).size(), 2) << v.toStdString();
        EXPECT_EQ(q.queryItemValue(QStringLiteral("user"), QUrl::FullyDecoded).toStdString(),
                  v.toStdString());
        EXPECT_EQ(q.queryItemValue(QStringLiteral("pwd")), QStringLiteral("x"));
    }
}

}  // namespace
