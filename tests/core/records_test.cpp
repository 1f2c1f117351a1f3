#include "core/engine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_set>

using namespace inkveil;

namespace {

struct ConstructorCase {
    const char* name;
    Rect given;
    Rect stored;
};

void PrintTo(const ConstructorCase& c, std::ostream* os) { *os << c.name; }

class RegionConstructor : public ::testing::TestWithParam<ConstructorCase> {};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

TEST_P(RegionConstructor, StandardizesThenClipsToTheUnitSquare)
{
    const RedactionRegion region(3, GetParam().given);
    EXPECT_EQ(region.pageIndex(), 3);
    const Rect r = region.normalizedRect();
    const Rect want = GetParam().stored;
    EXPECT_DOUBLE_EQ(r.x, want.x);
    EXPECT_DOUBLE_EQ(r.y, want.y);
    EXPECT_DOUBLE_EQ(r.width, want.width);
    EXPECT_DOUBLE_EQ(r.height, want.height);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RegionConstructor,
    ::testing::Values(ConstructorCase{"negativeSize", {0.5, 0.5, -0.2, -0.1}, {0.3, 0.4, 0.2, 0.1}},
                      ConstructorCase{"overTopRight", {0.8, 0.9, 0.5, 0.5}, {0.8, 0.9, 0.2, 0.1}},
                      ConstructorCase{"overBottomLeft", {-0.5, -0.5, 1.0, 0.75}, {0, 0, 0.5, 0.25}},
                      ConstructorCase{"negativeAcrossOrigin", {0.2, 0.2, -0.5, -0.5}, {0, 0, 0.2, 0.2}},
                      ConstructorCase{"missesEntirely", {1.5, 1.5, 0.2, 0.2}, {0, 0, 0, 0}},
                      // Touching the square is an overlap of zero size, not a miss.
                      ConstructorCase{"touchesRightEdge", {1.0, 0.5, 0.3, 0.2}, {1.0, 0.5, 0, 0.2}},
                      ConstructorCase{"notANumber", {kNaN, 0.1, 0.2, 0.2}, {0, 0, 0, 0}},
                      ConstructorCase{"infiniteWidth", {0.5, 0.5, kInf, 0.25}, {0.5, 0.5, 0.5, 0.25}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegionIdentity, PageIndexIsKeptUncheckedAndCounts)
{
    EXPECT_EQ(RedactionRegion(-4, {0.1, 0.1, 0.1, 0.1}).pageIndex(), -4);
    const Rect r{0.1, 0.1, 0.2, 0.2};
    EXPECT_NE(RedactionRegion(0, r), RedactionRegion(1, r));
    EXPECT_NE(RedactionRegion(0, r), RedactionRegion(0, {0.1, 0.1, 0.2, 0.3}));
}

TEST(RegionIdentity, EqualAcrossSignConventionsAndHashAlike)
{
    // Dyadic values: the sum of origin and negative size is exact, so both
    // spellings name the very same rectangle.
    const RedactionRegion plain(2, {0.25, 0.125, 0.5, 0.25});
    const RedactionRegion flipped(2, {0.75, 0.375, -0.5, -0.25});
    EXPECT_EQ(plain, flipped);
    EXPECT_EQ(qHash(plain), qHash(flipped));
    EXPECT_EQ(std::hash<RedactionRegion>{}(plain), std::hash<RedactionRegion>{}(flipped));

    // Decoding keeps the sign convention; equality and hash still see through it.
    QJsonObject raw{{QStringLiteral("pageIndex"), 2},
                    {QStringLiteral("normalizedRect"), QJsonArray{QJsonArray{0.75, 0.375}, QJsonArray{-0.5, -0.25}}}};
    const RedactionRegion decoded = RedactionRegion::fromJson(raw);
    EXPECT_EQ(decoded.normalizedRect().width, -0.5);
    EXPECT_EQ(decoded, plain);
    EXPECT_EQ(qHash(decoded), qHash(plain));

    QSet<RedactionRegion> set{plain, flipped, decoded};
    EXPECT_EQ(set.size(), 1);
}

TEST(RegionIdentity, NegativeZeroHashesLikeZero)
{
    const RedactionRegion a(0, {-0.0, -0.0, 0.5, 0.5});
    ASSERT_TRUE(std::signbit(a.normalizedRect().x));
    const RedactionRegion b(0, {0, 0, 0.5, 0.5});
    EXPECT_EQ(a, b);
    EXPECT_EQ(qHash(a), qHash(b));
    std::unordered_set<RedactionRegion> set{a, b};
    EXPECT_EQ(set.size(), 1u);
}

TEST(RegionJson, WritesTheTwoKeysAndReadsBackEqual)
{
    const RedactionRegion region(12, {0.1, 1.0 / 3.0, 0.2, 2.0 / 7.0});
    const QJsonObject json = region.toJson();
    EXPECT_EQ(json.keys(), (QStringList{QStringLiteral("normalizedRect"), QStringLiteral("pageIndex")}));
    EXPECT_EQ(json.value(QStringLiteral("pageIndex")).toInteger(), 12);

    // Through text, as a file would carry it: every double comes back exact.
    const QByteArray text = QJsonDocument(json).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(text.contains("\"normalizedRect\":[[0.1,")) << text.constData();
    const RedactionRegion back = RedactionRegion::fromJson(QJsonDocument::fromJson(text).object());
    EXPECT_EQ(back, region);
    EXPECT_EQ(back.normalizedRect(), region.normalizedRect());
}

TEST(RegionJson, ReadsUnclippedLargePagesAndIgnoresOtherKeys)
{
    const QByteArray text = R"({"pageIndex": 9007199254740993, "comment": "x",
                                "normalizedRect": [[1.5, -0.25], [2, 0.5]]})";
    const RedactionRegion region = RedactionRegion::fromJson(QJsonDocument::fromJson(text).object());
    EXPECT_EQ(region.pageIndex(), 9007199254740993LL);
    EXPECT_EQ(region.normalizedRect(), (Rect{1.5, -0.25, 2, 0.5}));
}

TEST(RegionJson, RejectsMissingOrMistypedKeys)
{
    const char* bad[] = {
        R"({"normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 0})",
        R"({"pageIndex": "0", "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 1.5, "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 1e30, "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 0, "normalizedRect": {"x": 0, "y": 0, "width": 1, "height": 1}})",
        R"({"pageIndex": 0, "normalizedRect": [0, 0, 1, 1]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0], [1]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0], [1, 1, 1]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, "0"], [1, 1]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0], [1, null]]})",
    };
    for (const char* text : bad) {
        const QJsonObject object = QJsonDocument::fromJson(text).object();
        EXPECT_THROW(RedactionRegion::fromJson(object), std::invalid_argument) << text;
    }
}

TEST(Plan, DefaultsAndFieldByFieldEquality)
{
    const RedactionPlan plain;
    EXPECT_TRUE(plain.regions.empty());
    EXPECT_TRUE(plain.searchTerms.isEmpty());
    EXPECT_EQ(plain.dpi, 200.0);

    const RedactionRegion a(0, {0.1, 0.1, 0.1, 0.1});
    const RedactionRegion b(1, {0.2, 0.2, 0.1, 0.1});
    RedactionPlan ab;
    ab.regions = {a, b};
    RedactionPlan ba;
    ba.regions = {b, a};
    EXPECT_NE(ab, ba);
    ba.regions = {a, b};
    EXPECT_EQ(ab, ba);

    RedactionPlan sharper = ab;
    sharper.dpi = 300;
    EXPECT_NE(ab, sharper);
}

TEST(Plan, TermsCompareUnderCanonicalEquivalenceWithCase)
{
    RedactionPlan composed;
    composed.searchTerms = {QStringLiteral("Jos\u00e9"), QStringLiteral("M\u00fcller")};
    RedactionPlan decomposed;
    decomposed.searchTerms = {QStringLiteral("Jose\u0301"), QStringLiteral("Mu\u0308ller")};
    EXPECT_EQ(composed, decomposed);

    RedactionPlan lower = composed;
    lower.searchTerms[0] = QStringLiteral("jos\u00e9");
    EXPECT_NE(composed, lower);

    // Compatibility forms are not canonical: the ligature is a different term.
    RedactionPlan ligature;
    ligature.searchTerms = {QStringLiteral("\ufb01le")};
    RedactionPlan letters;
    letters.searchTerms = {QStringLiteral("file")};
    EXPECT_NE(ligature, letters);

    RedactionPlan reordered;
    reordered.searchTerms = {QStringLiteral("M\u00fcller"), QStringLiteral("Jos\u00e9")};
    EXPECT_NE(composed, reordered);
}

TEST(ErrorTexts, EachCaseDescribesItself)
{
    const QString invoice = QStringLiteral("/srv/2024 scans/q1.v2/Invoice 7.pdf");
    EXPECT_EQ(InkveilError::unreadable(invoice).description(), QStringLiteral("Could not read Invoice 7.pdf."));
    EXPECT_EQ(InkveilError::empty(QStringLiteral("/tmp/Contract.pdf")).description(),
              QStringLiteral("Contract.pdf contains no pages."));
    EXPECT_EQ(InkveilError::verificationFailed(Reason::pageUnreadable).description(),
              QStringLiteral("The redacted PDF could not be verified: a page is unreadable"));
    EXPECT_EQ(InkveilError::verificationFailed(Reason::pageCountChanged).description(),
              QStringLiteral("The redacted PDF could not be verified: page count changed"));
    EXPECT_EQ(InkveilError::noRedactions().description(),
              QStringLiteral("Mark an area or add a search phrase before redacting."));
    EXPECT_EQ(InkveilError::invalidRegion().description(),
              QStringLiteral("One of the marked areas falls outside its PDF page."));
    EXPECT_EQ(InkveilError::cancelled().description(), QStringLiteral("Redaction was cancelled. No output was saved."));

    // what() carries the same text for code that only sees std::exception.
    EXPECT_STREQ(InkveilError::unreadable(invoice).what(), "Could not read Invoice 7.pdf.");
}

TEST(ErrorTexts, NamesAreInsertedVerbatim)
{
    // Placeholders inside a file name must not be expanded a second time.
    EXPECT_EQ(InkveilError::unreadable(QStringLiteral("/x/Budget %1 at 50%2.pdf")).description(),
              QStringLiteral("Could not read Budget %1 at 50%2.pdf."));
    EXPECT_EQ(InkveilError::empty(QStringLiteral("/x/%1.pdf")).description(), QStringLiteral("%1.pdf contains no pages."));
}

TEST(ErrorTexts, FileErrorsCarryTheSystemMessage)
{
    const FileError error = FileError::fromErrno(QStringLiteral("/out/a.pdf"), ENOENT);
    EXPECT_EQ(error.errorNumber(), ENOENT);
    EXPECT_EQ(error.path(), QStringLiteral("/out/a.pdf"));
    EXPECT_TRUE(error.description().endsWith(QStringLiteral(": /out/a.pdf"))) << error.what();
    EXPECT_GT(error.description().size(), QStringLiteral(": /out/a.pdf").size());
}
