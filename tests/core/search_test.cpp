#include "core/engine.h"
#include "core/text_matcher.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QFile>

#include <algorithm>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using Match = TextMatcher::Match;

namespace {

// Feeds text one code point at a time, numbered from `from`.
void feed(TextMatcher& matcher, const QString& text, std::int64_t from = 0)
{
    for (const char32_t c : text.toUcs4())
        matcher.append(c, from++);
}

std::vector<Match> matchesIn(const QString& text, const QString& phrase)
{
    TextMatcher matcher({phrase});
    feed(matcher, text);
    auto found = matcher.takeMatches(true);
    std::sort(found.begin(), found.end(), [](const Match& a, const Match& b) { return a.first < b.first; });
    return found;
}

struct MatcherCase {
    const char* name;
    QString text;
    QString phrase;
    std::vector<Match> expected; // code point indices into text
};

} // namespace

class MatcherTest : public ::testing::TestWithParam<MatcherCase> {};

TEST_P(MatcherTest, FindsWhatItShould)
{
    const MatcherCase& c = GetParam();
    EXPECT_EQ(matchesIn(c.text, c.phrase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folding, MatcherTest,
    ::testing::Values(
        MatcherCase{"CaseFolded", QStringLiteral("SECRET SeCrEt"), QStringLiteral("secret"), {{0, 5}, {7, 12}}},
        MatcherCase{"FullCaseFolding", QStringLiteral("Stra\u00DFe"), QStringLiteral("STRASSE"), {{0, 5}}},
        MatcherCase{"LigatureReadsAsLetters", QStringLiteral("Pro\uFB01le"), QStringLiteral("profile"), {{0, 5}}},
        MatcherCase{"InsideLigatureTakesGlyph", QStringLiteral("Pro\uFB01le"), QStringLiteral("il"), {{3, 4}}},
        MatcherCase{"DecomposedTextComposedPhrase", QStringLiteral("Jose\u0301 Ruiz"), QStringLiteral("jos\u00E9"), {{0, 4}}},
        MatcherCase{"ComposedTextDecomposedPhrase", QStringLiteral("Jos\u00E9"), QStringLiteral("JOSE\u0301"), {{0, 3}}},
        MatcherCase{"AccentsCountComposed", QStringLiteral("Jos\u00E9 r\u00E9sum\u00E9"), QStringLiteral("jose"), {}},
        MatcherCase{"AccentsCountDecomposed", QStringLiteral("Jose\u0301"), QStringLiteral("jose"), {}},
        MatcherCase{"MarksInCanonicalOrder", QStringLiteral("q\u0307\u0323"), QStringLiteral("q\u0323\u0307"), {{0, 2}}},
        MatcherCase{"SyllableNotSplit", QStringLiteral("\uD55C\uAD6D"), QStringLiteral("\uD558"), {}},
        MatcherCase{"SyllableWhole", QStringLiteral("\uD55C\uAD6D"), QStringLiteral("\uD55C"), {{0, 0}}},
        MatcherCase{"AnyBlankRunInText", QStringLiteral("John \t\n  Smith"), QStringLiteral("john smith"), {{0, 13}}},
        MatcherCase{"AnyBlankRunInPhrase", QStringLiteral("John Smith"), QStringLiteral("John \t Smith"), {{0, 9}}},
        MatcherCase{"SoftHyphenIgnored", QStringLiteral("Ver\u00ADtrag"), QStringLiteral("vertrag"), {{0, 7}}},
        MatcherCase{"Substring", QStringLiteral("Johnson"), QStringLiteral("john"), {{0, 3}}},
        MatcherCase{"NoOverlapRepeats", QStringLiteral("aaaaa"), QStringLiteral("aa"), {{0, 1}, {2, 3}}},
        MatcherCase{"NoOverlapSelf", QStringLiteral("ababa"), QStringLiteral("aba"), {{0, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MatcherPieces, WaitsForWhatFollowsAndKeepsOnlyATail)
{
    TextMatcher accent({QStringLiteral("jose")});
    feed(accent, QStringLiteral("Jose"));
    EXPECT_TRUE(accent.takeMatches(false).empty()); // an accent may follow
    feed(accent, QStringLiteral("\u0301"), 4);
    EXPECT_TRUE(accent.takeMatches(true).empty());

    TextMatcher broken({QStringLiteral("john smith")});
    feed(broken, QString(5000, u'x') + QStringLiteral(" Jo"));
    EXPECT_TRUE(broken.takeMatches(false).empty());
    EXPECT_GT(broken.firstNeededIndex(), 4990);
    feed(broken, QStringLiteral("hn"), 5003);
    broken.appendBreak();
    feed(broken, QStringLiteral("Smith."), 5005);
    EXPECT_EQ(broken.takeMatches(false), (std::vector<Match>{{5001, 5009}}));

    EXPECT_FALSE(TextMatcher({QStringLiteral("\u00AD"), QStringLiteral("\u200B")}).hasPhrases());
}

// ---- Regions in documents -------------------------------------------------

class SearchTest : public inkveil::test::TempDirTest {
protected:
    QString write(const PdfBuilder& pdf)
    {
        return pdf.write(path(QStringLiteral("doc%1.pdf").arg(++m_files)));
    }

    std::vector<RedactionRegion> search(const QString& file, const QStringList& terms)
    {
        platform::Context ctx;
        auto doc = platform::Document::open(ctx, file);
        EXPECT_TRUE(doc);
        return doc ? InkveilEngine::searchRegions(*doc, terms) : std::vector<RedactionRegion>{};
    }
    std::vector<RedactionRegion> search(const PdfBuilder& pdf, const QStringList& terms)
    {
        return search(write(pdf), terms);
    }

    // The platform's box around characters [from, to) of a text line.
    Rect charsBox(const QString& file, int page, int line, int from, int to)
    {
        platform::Context ctx;
        auto doc = platform::Document::open(ctx, file);
        const auto lines = doc->page(page)->textLines();
        Rect box = lines.at(line).chars.at(from).box;
        for (int i = from + 1; i < to; ++i)
            box = box.united(lines.at(line).chars.at(i).box);
        return box;
    }

private:
    int m_files = 0;
};

namespace {

PageSpec textPage(std::vector<inkveil::test::TextRun> runs, const double (&box)[4] = {0, 0, 612, 792})
{
    PageSpec layout;
    std::copy(std::begin(box), std::end(box), layout.box);
    layout.texts = std::move(runs);
    return layout;
}

void expectNear(const Rect& actual, const Rect& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

Rect normalizedAround(const Rect& text, const Rect& box)
{
    return *InkveilEngine::normalize(*text.insetBy(-2, -1).intersected(box), box);
}

} // namespace

TEST_F(SearchTest, BlankPhrasesAreDroppedAndPhrasesTrimmed)
{
    const QString file = write(PdfBuilder().textPage("Invoice 2024"));
    EXPECT_TRUE(search(file, {}).empty());
    EXPECT_TRUE(search(file, {QStringLiteral(" "), QStringLiteral("\t\n"), QString()}).empty());
    const auto plain = search(file, {QStringLiteral("Invoice")});
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(search(file, {QStringLiteral("  Invoice\n")}), plain);
    EXPECT_TRUE(search(file, {QStringLiteral("Invoice 2025")}).empty());
}

TEST_F(SearchTest, CaseIsIgnoredAccentsAreNot)
{
    const QString file = write(PdfBuilder().page(
        textPage({{72, 720, 12, "INVOICE for Caf\xE9"}, {72, 700, 12, "invoice cafe"}, {72, 680, 12, "InVoIcE"}})));
    EXPECT_EQ(search(file, {QStringLiteral("invoice")}).size(), 3u);
    const auto accented = search(file, {QStringLiteral("caf\u00E9")});
    ASSERT_EQ(accented.size(), 1u);
    EXPECT_GT(accented[0].normalizedRect().minY(), 710.0 / 792); // the first line
    EXPECT_EQ(search(file, {QStringLiteral("CAF\u00C9")}), accented);
    const auto plain = search(file, {QStringLiteral("cafe")});
    ASSERT_EQ(plain.size(), 1u);
    // Only the second line, 20 points below the first.
    EXPECT_NEAR(plain[0].normalizedRect().minY() * 792, accented[0].normalizedRect().minY() * 792 - 20, 1e-6);
}

TEST_F(SearchTest, RepeatsOnceAndNestedPhrasesApart)
{
    const QString file = write(PdfBuilder().textPage("Signed: John Smith"));
    const auto found = search(file, {QStringLiteral("John"), QStringLiteral("john"), QStringLiteral("John Smith"),
                                     QStringLiteral("John")});
    ASSERT_EQ(found.size(), 2u);
    const Rect page{0, 0, 612, 792};
    expectNear(found[0].normalizedRect(), normalizedAround(charsBox(file, 0, 0, 8, 12), page));
    expectNear(found[1].normalizedRect(), normalizedAround(charsBox(file, 0, 0, 8, 18), page));
}

TEST_F(SearchTest, TextBoxWithMarginsInEachMediaBox)
{
    const double shifted[4] = {100, 100, 712, 892};
    PageSpec rotated = textPage({{150, 800, 12, "Total"}}, shifted);
    rotated.rotate = 90;
    const QString file = write(PdfBuilder()
                                   .textPage("Total 42", 100, 500)
                                   .page(textPage({{150, 800, 12, "Total"}}, shifted))
                                   .page(rotated)
                                   .textPage("Total", 0.5, 786));
    const auto found = search(file, {QStringLiteral("total")});
    ASSERT_EQ(found.size(), 4u);
    const Rect page{0, 0, 612, 792};
    expectNear(found[0].normalizedRect(), normalizedAround(charsBox(file, 0, 0, 0, 5), page));
    EXPECT_NEAR(found[0].normalizedRect().minX() * 612, 98, 0.01);
    EXPECT_LT(found[0].normalizedRect().minY() * 792, 499);
    EXPECT_GT(found[0].normalizedRect().maxY() * 792, 509);

    expectNear(found[1].normalizedRect(), normalizedAround(charsBox(file, 1, 0, 0, 5), Rect{100, 100, 612, 792}));
    EXPECT_NEAR(found[1].normalizedRect().minX() * 612, 48, 0.01);
    // Page space, whichever way up the page is shown.
    EXPECT_NEAR(found[2].normalizedRect().minX(), found[1].normalizedRect().minX(), 1e-3);
    EXPECT_NEAR(found[2].normalizedRect().minY(), found[1].normalizedRect().minY(), 1e-3);
    EXPECT_NEAR(found[2].normalizedRect().width, found[1].normalizedRect().width, 1e-3);

    // Clipped at the page's left and top edges.
    EXPECT_EQ(found[3].normalizedRect().minX(), 0);
    EXPECT_EQ(found[3].normalizedRect().maxY(), 1);
    EXPECT_GT(found[3].normalizedRect().width, 0);
}

TEST_F(SearchTest, LineAndPageEndsAreWhiteSpace)
{
    const QString file = write(PdfBuilder()
                                   .page(textPage({{72, 720, 12, "Dear John"}, {72, 706, 12, "Smith, from Jane"}}))
                                   .textPage("Doe, hello"));
    const Rect page{0, 0, 612, 792};
    // One box per page around all the pieces there.
    const auto wrapped = search(file, {QStringLiteral("john smith")});
    ASSERT_EQ(wrapped.size(), 1u);
    const Rect pieces = charsBox(file, 0, 0, 5, 9).united(charsBox(file, 0, 1, 0, 5));
    expectNear(wrapped[0].normalizedRect(), normalizedAround(pieces, page));

    const auto split = search(file, {QStringLiteral("Jane Doe")});
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].pageIndex(), 0);
    EXPECT_EQ(split[1].pageIndex(), 1);
    expectNear(split[0].normalizedRect(), normalizedAround(charsBox(file, 0, 1, 12, 16), page));
    expectNear(split[1].normalizedRect(), normalizedAround(charsBox(file, 1, 0, 0, 3), page));
}

TEST_F(SearchTest, SortedByPageThenTopDown)
{
    PageSpec drawing; // no text layer, as a scanned page
    drawing.extraContent = "0 0 m 300 300 l S\n";
    // Written bottom, top, middle.
    const PageSpec third = textPage({{72, 100, 12, "Name"}, {72, 700, 12, "Name"}, {72, 400, 12, "Name"}});
    const auto found = search(PdfBuilder().textPage("Name", 72, 400).page(drawing).page(third), {QStringLiteral("name")});
    ASSERT_EQ(found.size(), 4u);
    std::vector<std::pair<std::int64_t, int>> order;
    for (const auto& r : found)
        order.emplace_back(r.pageIndex(), static_cast<int>(r.normalizedRect().minY() * 792 / 100));
    EXPECT_EQ(order, (std::vector<std::pair<std::int64_t, int>>{{0, 3}, {2, 6}, {2, 3}, {2, 0}}));
}

TEST_F(SearchTest, PageThatCannotBeFetchedIsSkipped)
{
    QByteArray bytes = PdfBuilder().textPage("Secret one").textPage("Secret two").textPage("Secret three").build();
    // The second page's entry in the page tree points at no object.
    ASSERT_TRUE(bytes.contains("[5 0 R 7 0 R 9 0 R ]"));
    bytes.replace("[5 0 R 7 0 R 9 0 R ]", "[5 0 R 99 0 R 9 0 R ]");
    QFile out(path(QStringLiteral("broken.pdf")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    const auto found = search(out.fileName(), {QStringLiteral("secret")});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].pageIndex(), 0);
    EXPECT_EQ(found[1].pageIndex(), 2);
}

TEST_F(SearchTest, LigaturesAndDecomposedAccentsInPageText)
{
    // Helvetica whose "^" reads as the ligature "ﬁ" and "~" as a combining acute.
    PdfBuilder pdf;
    const auto stream = [&](const std::string& entries, const std::string& body) {
        return std::to_string(pdf.object("<< " + entries + " /Length " + std::to_string(body.size()) + " >>\nstream\n"
                                         + body + "\nendstream")) + " 0 R";
    };
    const std::string cmap = stream("", "begincmap 1 begincodespacerange <00> <FF> endcodespacerange 2 beginbfchar "
                                        "<5E> <FB01> <7E> <0301> endbfchar endcmap");
    const int font = pdf.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode " + cmap + " >>");
    PageSpec page;
    page.extraResources = "/XObject << /Fm0 " + stream("/Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F2 "
                                                   + std::to_string(font) + " 0 R >> >>",
                                                   "BT /F2 12 Tf 72 720 Td (Pro^le of Jose~) Tj ET") + " >>";
    page.extraContent = "/Fm0 Do\n";
    const QString file = write(pdf.page(page));
    {
        platform::Context ctx;
        const auto chars = platform::Document::open(ctx, file)->page(0)->textLines().at(0).chars;
        ASSERT_EQ(chars.size(), 15u);
        ASSERT_EQ(chars[3].c, U'\uFB01');
        ASSERT_EQ(chars[14].c, U'\u0301');
    }

    const Rect box{0, 0, 612, 792};
    const auto profile = search(file, {QStringLiteral("PROFILE")});
    ASSERT_EQ(profile.size(), 1u);
    expectNear(profile[0].normalizedRect(), normalizedAround(charsBox(file, 0, 0, 0, 6), box));
    // Starting inside the ligature takes all of it.
    const auto inside = search(file, {QStringLiteral("il")});
    ASSERT_EQ(inside.size(), 1u);
    expectNear(inside[0].normalizedRect(), normalizedAround(charsBox(file, 0, 0, 3, 5), box));
    EXPECT_EQ(search(file, {QStringLiteral("jos\u00E9")}).size(), 1u);
    EXPECT_TRUE(search(file, {QStringLiteral("jose")}).empty());
}
