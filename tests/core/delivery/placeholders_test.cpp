// Placeholders: the width suffix, letter case, and values that read like tokens.

#include "shared/placeholders.h"

#include <gtest/gtest.h>

using namespace mw;

namespace {

struct SuffixCase
{
    const char* text;
    const char* value;
    const char* expected;
};

class ReplacePlaceholderCases : public ::testing::TestWithParam<SuffixCase>
{};

TEST_P(ReplacePlaceholderCases, FillsTheToken)
{
    const SuffixCase& c = GetParam();
    QString text = QString::fromUtf8(c.text);
    ReplacePlaceholder(text, QStringLiteral("%APPNAME%"), QString::fromUtf8(c.value));
    EXPECT_EQ(text, QString::fromUtf8(c.expected));

    // The one-pass filler gives the same result.
    QString again = QString::fromUtf8(c.text);
    PlaceholderSet set;
    set.set(QStringLiteral("%APPNAME%"), QString::fromUtf8(c.value));
    set.fill(again);
    EXPECT_EQ(again, QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Suffixes, ReplacePlaceholderCases,
    ::testing::Values(SuffixCase{"%APPNAME%;12;|", "Alice", "Alice       |"},         // padded
                      SuffixCase{"%appname%;5;|", "Bartholomew", "Bartholomew|"},     // longer: not cut
                      SuffixCase{"%AppName%;x;|", "Alice", "Alice;x;|"},               // not a number: stays
                      SuffixCase{"%APPNAME%;12|", "Alice", "Alice;12|"},               // no closing ";"
                      SuffixCase{"%APPNAME%;;|", "Alice", "Alice;;|"},                 // no digits
                      SuffixCase{"%APPNAME%;99999999999;", "Al", "Al;99999999999;"},   // absurd width
                      SuffixCase{"[%APPNAME%;3;][%APPNAME%]", "Bo", "[Bo ][Bo]"},       // every occurrence
                      SuffixCase{"no token here", "Alice", "no token here"},
                      SuffixCase{"%APPNAME%", "Zoë Ñandú", "Zoë Ñandú"},
                      SuffixCase{"x%APPNAME%;4;", "", "x    "}));

TEST(Placeholders, ValuesThatReadLikeTokensAreNotReplacedAgain)
{
    QString text = QStringLiteral("Title: %JOBTITLE% / %JOBTITLE%");
    ReplacePlaceholder(text, QStringLiteral("%JOBTITLE%"), QStringLiteral("%JOBTITLE%"));
    EXPECT_EQ(text, QStringLiteral("Title: %JOBTITLE% / %JOBTITLE%"));

    // In a set, a row value holding a requisition token stays as it is.
    PlaceholderSet req;
    req.set(QStringLiteral("%JOBTITLE%"), QStringLiteral("Clerk"));
    req.set(QStringLiteral("%JOBNUMBER%"), QStringLiteral("R-REQ"));
    PlaceholderSet row(&req);
    row.set(QStringLiteral("%APPNAME%"), QStringLiteral("%JOBTITLE% Smith"));
    row.set(QStringLiteral("%JOBNUMBER%"), QStringLiteral("R-ROW")); // the row's number comes first
    QString line = QStringLiteral("%appname% applied for %JobTitle% (%JOBNUMBER%), 50% %UNKNOWN% %");
    row.fill(line);
    EXPECT_EQ(line, QStringLiteral("%JOBTITLE% Smith applied for Clerk (R-ROW), 50% %UNKNOWN% %"));
}

TEST(Placeholders, PercentSignsAroundTokens)
{
    PlaceholderSet set;
    set.set(QStringLiteral("%FTE%"), QStringLiteral("1.0"));
    QString text = QStringLiteral("100%%FTE%%%FTE%;5;%");
    set.fill(text);
    EXPECT_EQ(text, QStringLiteral("100%1.0%1.0  %"));
}

} // namespace
