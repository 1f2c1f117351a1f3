#include "core/pattern_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace inkveil;

namespace {

// The texts that the set finds in text, in order, fed in pieces of a few
// characters so that matches must survive the text being settled in parts.
QStringList found(const QString& text, const PatternSet& set)
{
    const std::u32string chars = text.toStdU32String();
    PatternMatcher matcher(set);
    std::vector<PatternMatcher::Match> matches;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        matcher.append(chars[i], static_cast<std::int64_t>(i));
        if (i % 7 == 6) {
            const auto some = matcher.takeMatches(false);
            matches.insert(matches.end(), some.begin(), some.end());
        }
    }
    const auto rest = matcher.takeMatches(true);
    matches.insert(matches.end(), rest.begin(), rest.end());
    std::sort(matches.begin(), matches.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList texts;
    for (const auto& m : matches) {
        const std::u32string part = chars.substr(static_cast<std::size_t>(m.first), static_cast<std::size_t>(m.last - m.first + 1));
        texts.append(QString::fromStdU32String(part));
    }
    return texts;
}

QStringList found(const QString& text, const QString& pattern) { return found(text, PatternSet({pattern}, {})); }

struct Case {
    const char* pattern;
    const char* text;
    QStringList expected;
};

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(QString::fromUtf8(item));
    return out;
}

void check(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(found(QString::fromUtf8(c.text), QString::fromLatin1(c.pattern)), c.expected) << c.pattern << ": " << c.text;
}

} // namespace

TEST(Patterns, CardsPassLuhnInGroupsAcrossLines)
{
    check({
        {"card", "Card 4111 1111 1111 1111 exp 12/27", list({"4111 1111 1111 1111"})},
        {"card", "4111-1111-\n1111-1111", list({"4111-1111-\n1111-1111"})},
        {"card", "4111111111111111", list({"4111111111111111"})},
        {"card", "Amex 3782 822463 10005.", list({"3782 822463 10005"})},
        {"card", "ref 12 4012 8888 8888 1881 due 2026", list({"4012 8888 8888 1881"})},
        {"card", "4111 1111 1111 1111 4012888888881881", list({"4111 1111 1111 1111", "4012888888881881"})},
        {"card", "\uFF14\uFF11\uFF11\uFF11 1111 1111 1111", list({"\uFF14\uFF11\uFF11\uFF11 1111 1111 1111"})},
        // Look-alikes: one digit off, too short, all zeros, glued to more digits.
        {"card", "4111 1111 1111 1112", {}},
        {"card", "4111 1111 1111", {}},
        {"card", "0000 0000 0000 0000", {}},
        {"card", "94111111111111111", {}},
        {"card", "41 11 11 11 11 11 11 11", {}},
    });
    // Long text is settled in parts as it comes: every instance once, wherever the cuts fall.
    QString statement;
    for (int i = 0; i < 100; ++i)
        statement += QStringLiteral("Card 4111 1111 1111 1111 and 4111 1111 1111 1112 on line %1\n").arg(i);
    EXPECT_EQ(found(statement, QStringLiteral("card")), QStringList(100, QStringLiteral("4111 1111 1111 1111")));
}

TEST(Patterns, IbansPassLengthAndMod97)
{
    check({
        {"iban", "IBAN DE89 3704 0044 0532 0130 00 BIC COBADEFFXXX", list({"DE89 3704 0044 0532 0130 00"})},
        {"iban", "GB82WEST12345698765432.", list({"GB82WEST12345698765432"})},
        {"iban", "NO93 8601\n1117 947", list({"NO93 8601\n1117 947"})},
        {"iban", "FR14 2004 1010 0505 0001 3M02 606", list({"FR14 2004 1010 0505 0001 3M02 606"})},
        {"iban", "DE89 3704 0044 0532 0130 01", {}},  // check sum off by one
        {"iban", "DE89 3704 0044 0532 0130 0", {}},   // one digit short for Germany
        {"iban", "DE89370400440532013000123", {}},    // too long, glued
        {"iban", "XX89 3704 0044 0532 0130 00", {}},  // no such country
        {"iban", "GB99WEST12345698765432", {}},       // 99 is never issued
    });
    EXPECT_TRUE(PatternChecks::iban(u"BE68539007547034"));
    EXPECT_FALSE(PatternChecks::iban(u"BE68539007547043"));
}

TEST(Patterns, SsnsExcludeUnissuedNumbers)
{
    check({
        {"ssn", "SSN 123-45-6789.", list({"123-45-6789"})},
        {"ssn", "SSN 123-45-\n6789", list({"123-45-\n6789"})},
        {"ssn", "000-45-6789 666-45-6789 901-45-6789 123-00-6789 123-45-0000", {}},
        {"ssn", "1123-45-6789 123-45-67890 123456789", {}},
    });
}

TEST(Patterns, PhonesNeedAPrefixOrGroupsButNotOtherNumbers)
{
    check({
        {"phone", "Call +44 20 7946 0958 today", list({"+44 20 7946 0958"})},
        {"phone", "+1 (555) 123-4567", list({"+1 (555) 123-4567"})},
        {"phone", "(555) 123-4567 or 555.123.4567", list({"(555) 123-4567", "555.123.4567"})},
        {"phone", "06 12 34 56 78", list({"06 12 34 56 78"})},
        {"phone", "Tel. 030 1234567", list({"030 1234567"})},
        {"phone", "555-123-\n4567", list({"555-123-\n4567"})},
        {"phone", "+4915123456789", list({"+4915123456789"})},
        {"phone", "+33 (0)1 23 45 67 89", list({"+33 (0)1 23 45 67 89"})},
        {"phone", "1-800-555-0199 or 1 (800) 555-0199", list({"1-800-555-0199", "1 (800) 555-0199"})},
        // Bare or short numbers, dates, addresses, amounts, SSNs, cards.
        {"phone", "12345 555-1234 5551234567", {}},
        {"phone", "12.06.2026 2026-12-06 2026-02-30 192.168.10.1 1.234.567 12.345.678 10 000 000 123-45-6789", {}},
        {"phone", "555-123-4567 555-987-6543", list({"555-123-4567", "555-987-6543"})},
        {"phone", "4111 1111 1111 1111 or DE89 3704 0044 0532 0130 00", {}},
        {"phone", "+12", {}},
    });
}

TEST(Patterns, EmailsUrlsAndAddresses)
{
    check({
        {"email", "Write to jane.doe+tax@mail.example.co.uk.", list({"jane.doe+tax@mail.example.co.uk"})},
        {"email", "(j\u00F6rg@b\u00FCro.de)", list({"j\u00F6rg@b\u00FCro.de"})},
        {"email", "jane.doe@\nexample.com", list({"jane.doe@\nexample.com"})},
        {"email", "@handle, user@localhost, a..b@example.com, x@y.z", {}},
        {"url", "See https://example.com/a?b=c. Or (www.example.org/x).",
         list({"https://example.com/a?b=c", "www.example.org/x"})},
        {"url", "https:// nothing here; wwwexample.com", {}},
        {"url", "at https://example.com/a/\nb/c.", list({"https://example.com/a/\nb/c"})},
        {"ip", "Host 192.168.1.10, net 10.0.0.0/8.", list({"192.168.1.10", "10.0.0.0/8"})},
        {"ip", "v6 2001:db8::ff00:42:8329 and fe80::1.", list({"2001:db8::ff00:42:8329", "fe80::1"})},
        {"ip", "256.1.1.1 1.2.3 01.2.3.4 12:30:45 std::max add::bad", {}},
    });
}

TEST(Patterns, DatesAreRealCalendarDays)
{
    check({
        {"date", "On 2026-12-06 and 2026/12/6.", list({"2026-12-06", "2026/12/6"})},
        {"date", "06/12/2026 12.31.26 31-12-2026", list({"06/12/2026", "12.31.26", "31-12-2026"})},
        {"date", "6 December 2026, Dec 6, 2026 and 6th of Dec. 2026",
         list({"6 December 2026", "Dec 6, 2026", "6th of Dec. 2026"})},
        {"date", "December\n6, 2026 or 6-Dec-2026", list({"December\n6, 2026", "6-Dec-2026"})},
        {"date", "2026-02-30 31/31/2026 30 February 2026 2026-13-01 1/2/3", {}},
    });
}

TEST(Patterns, ExpressionsAndTheirFailures)
{
    // Case-sensitive unless asked; touching matches join; empty matches and
    // unknown names are refused with the reason.
    EXPECT_EQ(found(QStringLiteral("INV-123456 inv-654321"), PatternSet({}, {QStringLiteral("INV-[0-9]{6}")})),
              list({"INV-123456"}));
    EXPECT_EQ(found(QStringLiteral("INV-123456 inv-654321"), PatternSet({}, {QStringLiteral("(?i)INV-[0-9]{6}")})),
              list({"INV-123456", "inv-654321"}));
    EXPECT_EQ(found(QStringLiteral("abc def"), PatternSet({}, {QStringLiteral("(?s).")})), list({"abc def"}));

    const auto error = [](const QStringList& names, const QStringList& expressions) {
        try {
            PatternSet set(names, expressions);
            return QString();
        } catch (const PatternError& e) {
            return e.description();
        }
    };
    EXPECT_EQ(error({}, {QStringLiteral("INV-(")}),
              QStringLiteral("The expression \u201CINV-(\u201D is not valid at position 6: missing closing parenthesis."));
    EXPECT_TRUE(error({}, {QStringLiteral("x*")}).contains(QStringLiteral("matches empty text")));
    EXPECT_EQ(error({QStringLiteral("passport")}, {}),
              QStringLiteral("Unknown pattern \u201Cpassport\u201D. The patterns are: email, phone, card, iban, ssn, date, ip, url."));
}

TEST(Patterns, BacktrackingGivesUpWithAClearError)
{
    const PatternSet set({}, {QStringLiteral("(a+)+$")});
    try {
        found(QString(40, u'a') + QStringLiteral("!"), set);
        FAIL() << "no error";
    } catch (const PatternError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("takes too long"))) << e.description().toStdString();
    }
}
