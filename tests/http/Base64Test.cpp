#include "Tools.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

struct Vector {
    QByteArray in;
    const char* out;
};

class Base64Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Base64Vectors, EncodesAsPublished) {
    EXPECT_EQ(Base64Encode(GetParam().in), QString::fromLatin1(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4648AndAlphabetEnds, Base64Vectors,
    ::testing::Values(Vector{"", ""}, Vector{"f", "Zg=="}, Vector{"fo", "Zm8="},
                      Vector{"foo", "Zm9v"}, Vector{"foob", "Zm9vYg=="}, Vector{"fooba", "Zm9vYmE="},
                      Vector{"foobar", "Zm9vYmFy"},
                      // The last two letters of the alphabet and bytes with the high bit set.
                      Vector{QByteArray("\xfb\xff", 2), "+/8="},
                      Vector{QByteArray("\x00\x00\x00", 3), "AAAA"},
                      Vector{QByteArray("\xff\xff\xff", 3), "////"},
                      // RFC 2617's Basic example.
                      Vector{"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="}));

QByteArray Pattern(int n) {
    QByteArray b;
    unsigned x = 0x12345678u;
    for (int i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b.append(char(x >> 24));
    }
    return b;
}

TEST(Base64Lines, FiftySevenBytesFillOneLineWithoutBreak) {
    const QString s = Base64Encode(Pattern(57));
    EXPECT_EQ(s.size(), 76);
    EXPECT_FALSE(s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n')));
}

TEST(Base64Lines, FiftyEightBytesBreakAfterSeventySixCharacters) {
    const QString s = Base64Encode(Pattern(58));
    ASSERT_EQ(s.size(), 82);
    EXPECT_EQ(s.mid(76, 2), QStringLiteral("\r\n"));
    EXPECT_TRUE(s.endsWith(QStringLiteral("==")));
    EXPECT_EQ(s.count(QLatin1Char('\r')), 1);
}

// Every length up to a few lines: size formula, full 76-character lines joined by CR LF, no
// break after the last, and the joined text decodes back to the input.
TEST(Base64Lines, LayoutAndRoundTripForEveryLength) {
    for (int n = 1; n <= 300; ++n) {
        SCOPED_TRACE(n);
        const QByteArray in = Pattern(n);
        const QString s = Base64Encode(in);
        EXPECT_EQ(s.size(), 4 * ((n + 2) / 3) + 2 * ((n - 1) / 57));
        const QStringList lines = s.split(QStringLiteral("\r\n"));
        EXPECT_EQ(lines.size(), (n - 1) / 57 + 1);
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            EXPECT_EQ(lines[i].size(), 76);
        EXPECT_FALSE(lines.last().isEmpty());
        EXPECT_LE(lines.last().size(), 76);
        EXPECT_EQ(QByteArray::fromBase64(lines.join(QString()).toLatin1()), in);
    }
}

}  // namespace
