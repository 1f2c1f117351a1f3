#include "core/engine.h"
#include "core/text_matcher.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"


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

} // namespace

TEST(Matcher, FoldsCaseAndCanonicalFormsButNotAccents)
{
    const struct {
        QString text;
        QString phrase;
        std::vector<Match> expected; // code point indices into text
    } cases[] = {
        {QStringLiteral("SECRET SeCrEt"), QStringLiteral("secret"), {{0, 5}, {7, 12}}},
        {QStringLiteral("Stra\u00DFe"), QStringLiteral("STRASSE"), {{0, 5}}},
        {QStringLiteral("Jose\u0301 Ruiz"), QStringLiteral("jos\u00E9"), {{0, 4}}},
        {QStringLiteral("Jos\u00E9 r\u00E9sum\u00E9"), QStringLiteral("jose"), {}},
        {QStringLiteral("q\u0307\u0323"), QStringLiteral("q\u0323\u0307"), {{0, 2}}},
        {QStringLiteral("\uD55C\uAD6D"), QStringLiteral("\uD558"), {}},
        {QStringLiteral("John \t\n  Smith"), QStringLiteral("john smith"), {{0, 13}}},
        {QStringLiteral("Ver\u00ADtrag"), QStringLiteral("vertrag"), {{0, 7}}},
        {QStringLiteral("aaaaa"), QStringLiteral("aa"), {{0, 1}, {2, 3}}},
        // White space, dashes and invisible characters count for nothing;
        // look-alikes and typographic quotes fold.
        {QStringLiteral("S E C R E T"), QStringLiteral("secret"), {{0, 10}}},
        {QStringLiteral("JohnSmith"), QStringLiteral("John Smith"), {{0, 8}}},
        {QStringLiteral("Confiden-\ntial"), QStringLiteral("confidential"), {{0, 13}}},
        {QStringLiteral("1995\u20132005 \u2212 5"), QStringLiteral("1995-2005-5"), {{0, 12}}},
        {QStringLiteral("O\u2019Brien"), QStringLiteral("o'brien"), {{0, 6}}},
        {QStringLiteral("Jo\u034Fhn \u0421LIENT"), QStringLiteral("john client"), {{0, 11}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchesIn(c.text, c.phrase), c.expected) << c.text.toStdString() << " / " << c.phrase.toStdString();
}

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

// The region must cover the text's ink with the margins: along the line
// about as far as the characters' boxes reach, and no higher or lower than
// their font boxes.
void expectAround(const RedactionRegion& found, const Rect& text, const Rect& box = {0, 0, 612, 792})
{
    const Rect got = InkveilEngine::denormalize(found.normalizedRect(), box);
    EXPECT_NEAR(got.minX(), text.minX() - 2, 1.5);
    EXPECT_NEAR(got.maxX(), text.maxX() + 2, 1.5);
    EXPECT_GE(got.minY(), text.minY() - 1 - 1e-6);
    EXPECT_LE(got.maxY(), text.maxY() + 1 + 1e-6);
    EXPECT_GT(got.height, 0.5 * text.height);
}

} // namespace

TEST_F(SearchTest, BlanksDroppedRepeatsOnceNestedPhrasesApart)
{
    const QString file = write(PdfBuilder().textPage("Signed: John Smith"));
    EXPECT_TRUE(search(file, {QStringLiteral(" "), QStringLiteral("\t\n"), QString()}).empty());
    EXPECT_TRUE(search(file, {QStringLiteral("John Smithson")}).empty());
    auto found = search(file, {QStringLiteral("John"), QStringLiteral("john"), QStringLiteral("  John Smith\n"),
                               QStringLiteral("John")});
    ASSERT_EQ(found.size(), 2u);
    std::sort(found.begin(), found.end(), [](const RedactionRegion& a, const RedactionRegion& b) {
        return a.normalizedRect().width < b.normalizedRect().width;
    });
    expectAround(found[0], charsBox(file, 0, 0, 8, 12));
    expectAround(found[1], charsBox(file, 0, 0, 8, 18));
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
    expectAround(found[0], charsBox(file, 0, 0, 0, 5));
    expectAround(found[1], charsBox(file, 1, 0, 0, 5), Rect{100, 100, 612, 792});
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
    // One box per line piece, never one around both lines.
    const auto wrapped = search(file, {QStringLiteral("john smith")});
    ASSERT_EQ(wrapped.size(), 2u);
    expectAround(wrapped[0], charsBox(file, 0, 0, 5, 9));
    expectAround(wrapped[1], charsBox(file, 0, 1, 0, 5));

    const auto split = search(file, {QStringLiteral("Jane Doe")});
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].pageIndex(), 0);
    EXPECT_EQ(split[1].pageIndex(), 1);
    expectAround(split[0], charsBox(file, 0, 1, 12, 16));
    expectAround(split[1], charsBox(file, 1, 0, 0, 3));
}

TEST_F(SearchTest, PageThatCannotBeFetchedIsSkipped)
{
    QByteArray bytes = PdfBuilder().textPage("Secret one").textPage("Secret two").textPage("Secret three").build();
    // The second page's entry in the page tree points at no object.
    ASSERT_TRUE(bytes.contains("[5 0 R 7 0 R 9 0 R ]"));
    bytes.replace("[5 0 R 7 0 R 9 0 R ]", "[5 0 R 99 0 R 9 0 R ]");
    const auto found = search(inkveil::test::writeFile(path(QStringLiteral("broken.pdf")), bytes), {QStringLiteral("secret")});
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

    const auto profile = search(file, {QStringLiteral("PROFILE")});
    ASSERT_EQ(profile.size(), 1u);
    expectAround(profile[0], charsBox(file, 0, 0, 0, 6));
    // Starting inside the ligature takes all of it.
    const auto inside = search(file, {QStringLiteral("il")});
    ASSERT_EQ(inside.size(), 1u);
    expectAround(inside[0], charsBox(file, 0, 0, 3, 5));
    EXPECT_EQ(search(file, {QStringLiteral("jos\u00E9")}).size(), 1u);
    EXPECT_TRUE(search(file, {QStringLiteral("jose")}).empty());
}
