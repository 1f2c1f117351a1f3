// Patterns, expressions and whole pages from the command line, checked in the
// output's pixels.

#include "tests/support/pdf_builder.h"
#include "tests/support/poppler.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::TextRun;

namespace {

const QString kCli = QStringLiteral(INKVEIL_CLI_PATH);
constexpr double kValueX = 200;

struct Line {
    const char* label;
    const char* value;
    bool blackedOut;
};

// One instance or look-alike per line: a label at the margin, the value at kValueX.
const Line kFirstPage[] = {
    {"Mail", "jane.doe@example.com", true},      {"Not", "jane.doe@example", false},
    {"Card", "4111 1111 1111 1111", true},       {"Not", "4111 1111 1111 1112", false},
    {"IBAN", "DE89 3704 0044 0532 0130 00", true}, {"Not", "DE89 3704 0044 0532 0130 01", false},
    {"SSN", "123-45-6789", true},                {"Not", "666-45-6789", false},
    {"Tel", "+44 20 7946 0958", true},           {"Not", "Ref 12345", false},
    {"Date", "6 December 2026", true},           {"Not", "2026-02-30", false},
    {"Host", "192.168.1.10", true},              {"Not", "256.1.1.1", false},
    {"Web", "https://example.com/x", true},      {"Invoice", "INV-123456", true},
    {"Not", "INV-12345", false},
};

double baseline(std::size_t line) { return 740.0 - 24.0 * static_cast<double>(line); }

// Share of black pixels in the page-space box (x, y, w, h) of an output page.
double blackShare(const inkveil::test::Raster& page, double x, double y, double w, double h)
{
    const double s = page.width / 612.0;
    return page.blackShare(static_cast<int>(x * s), static_cast<int>((792 - y - h) * s), static_cast<int>((x + w) * s),
                           static_cast<int>((792 - y) * s));
}

QString documentWithEveryKind(const QString& path)
{
    PageSpec first;
    for (std::size_t i = 0; i < std::size(kFirstPage); ++i) {
        first.texts.push_back(TextRun{72, baseline(i), 12, kFirstPage[i].label});
        first.texts.push_back(TextRun{kValueX, baseline(i), 12, kFirstPage[i].value});
    }
    // A card number broken across two lines.
    PageSpec second;
    second.texts = {TextRun{72, 700, 12, "Card"}, TextRun{kValueX, 700, 12, "4012 8888"},
                    TextRun{kValueX, 686, 12, "8888 1881"}, TextRun{72, 650, 12, "End of statement"}};
    // Letter-spaced, and a comb field with one digit to a box.
    second.extraContent = "BT /F1 12 Tf 5 Tc 200 620 Td (123-45-6789) Tj 0 Tc ET\n";
    // A list, one to a line: read as one text, neighbours run together.
    second.texts.push_back(TextRun{kValueX, 560, 12, "DE89 3704 0044 0532 0130 00"});
    second.texts.push_back(TextRun{kValueX, 546, 12, "GB82WEST12345698765432"});
    second.texts.push_back(TextRun{kValueX, 532, 12, "(555) 123-4567"});
    for (int i = 0; i < 16; ++i)
        second.extraContent += "BT /F1 12 Tf " + std::to_string(200 + 14 * i) + " 590 Td (" + "5500000000000004"[i] + ") Tj ET\n";
    PageSpec third;
    third.texts = {TextRun{72, 700, 12, "Appendix: medical history"}};
    return PdfBuilder().page(first).page(second).page(third).write(path);
}

} // namespace

class PatternsCliTest : public inkveil::test::TempDirTest {};

TEST_F(PatternsCliTest, EveryValidInstanceAndTheWholePageGoLookAlikesStay)
{
    if (!inkveil::test::havePoppler())
        GTEST_SKIP() << "poppler-utils missing";
    const QString pdf = documentWithEveryKind(path(QStringLiteral("statement.pdf")));
    const QString out = path(QStringLiteral("out"));
    const auto r = inkveil::test::runProgram(
        kCli, {QStringLiteral("redact"), QStringLiteral("-o"), out, QStringLiteral("-p"), QStringLiteral("email"),
               QStringLiteral("-p"), QStringLiteral("card"), QStringLiteral("-p"), QStringLiteral("iban"),
               QStringLiteral("-p"), QStringLiteral("ssn"), QStringLiteral("-p"), QStringLiteral("phone"),
               QStringLiteral("-p"), QStringLiteral("date"), QStringLiteral("-p"), QStringLiteral("ip"),
               QStringLiteral("-p"), QStringLiteral("url"), QStringLiteral("-e"), QStringLiteral("INV-[0-9]{6}"),
               QStringLiteral("--whole-pages"), QStringLiteral("3"), QStringLiteral("--ocr"), QStringLiteral("off"), pdf});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString output = QString::fromUtf8(r.out).trimmed();

    const auto first = inkveil::test::popplerPageImage(output, 1);
    ASSERT_TRUE(first);
    for (std::size_t i = 0; i < std::size(kFirstPage); ++i) {
        // The middle of the value's first few characters, x-height band.
        const double share = blackShare(*first, kValueX + 2, baseline(i) + 1, 40, 6);
        if (kFirstPage[i].blackedOut)
            EXPECT_GT(share, 0.95) << kFirstPage[i].value;
        else
            EXPECT_LT(share, 0.6) << kFirstPage[i].value;
    }
    const auto second = inkveil::test::popplerPageImage(output, 2);
    ASSERT_TRUE(second);
    EXPECT_GT(blackShare(*second, kValueX + 2, 701, 40, 6), 0.95);
    EXPECT_GT(blackShare(*second, kValueX + 2, 687, 40, 6), 0.95);
    EXPECT_LT(blackShare(*second, 74, 651, 40, 6), 0.6);
    EXPECT_GT(blackShare(*second, kValueX + 2, 621, 120, 6), 0.95);
    EXPECT_GT(blackShare(*second, kValueX + 2, 591, 210, 6), 0.95);
    for (const double y : {560, 546, 532})
        EXPECT_GT(blackShare(*second, kValueX + 2, y + 1, 60, 6), 0.95) << y;
    const auto third = inkveil::test::popplerPageImage(output, 3);
    ASSERT_TRUE(third);
    EXPECT_GT(blackShare(*third, 0, 0, 612, 792), 0.99);
}

TEST_F(PatternsCliTest, FindReportsEachMatchWithItsKindAndRefusesBadPatterns)
{
    const QString pdf = documentWithEveryKind(path(QStringLiteral("statement.pdf")));
    auto r = inkveil::test::runProgram(kCli, {QStringLiteral("find"), QStringLiteral("--json"), QStringLiteral("--ocr"),
                                              QStringLiteral("off"), QStringLiteral("-p"), QStringLiteral("card"),
                                              QStringLiteral("-e"), QStringLiteral("(?i)inv-[0-9]{6}"), pdf, QStringLiteral("Appendix")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList seen;
    for (const QString& line : QString::fromUtf8(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o.contains(QStringLiteral("kind")))
            seen.append(QStringLiteral("%1 %2 %3").arg(o[QStringLiteral("page")].toInt()).arg(o[QStringLiteral("kind")].toString(),
                                                                                           o[QStringLiteral("text")].toString()));
    }
    EXPECT_EQ(seen, (QStringList{QStringLiteral("1 card 4111 1111 1111 1111"), QStringLiteral("1 regex INV-123456"),
                                 QStringLiteral("2 card 4012 8888 8888 1881"), QStringLiteral("2 card 5500000000000004"),
                                 QStringLiteral("3 phrase Appendix")}));

    const struct {
        QStringList args;
        const char* message;
    } refusals[] = {
        {{QStringLiteral("-p"), QStringLiteral("passport")}, "The patterns are: email, phone, card, iban, ssn, date, ip, url."},
        {{QStringLiteral("-e"), QStringLiteral("INV-([0-9]")}, "is not valid at position 11"},
    };
    for (const auto& refusal : refusals) {
        r = inkveil::test::runProgram(kCli, QStringList{QStringLiteral("find")} + refusal.args + QStringList{pdf});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(refusal.message)) << r.err.toStdString();
    }
}
