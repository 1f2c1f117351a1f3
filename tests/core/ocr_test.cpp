#include "core/engine.h"
#include "core/ocr_matcher.h"
#include "core/ocr_search.h"
#include "platform/pdf_document.h"
#include "platform/resource_limits.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/scan_builder.h"
#include "tests/support/test_env.h"

#include <QFile>

#include <algorithm>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::ScanStyle;
using inkveil::test::TextRun;
using Match = OcrMatcher::Match;

namespace {

std::vector<QString> symbolsOf(const QString& text)
{
    std::vector<QString> symbols;
    for (const char32_t c : text.toUcs4())
        symbols.push_back(QString::fromUcs4(&c, 1));
    return symbols;
}

bool overlaps(const Rect& a, const Rect& b) { return a.intersected(b).has_value(); }

// Scans made from a small page of text: two phrases and a decoy, in 12 pt.
class OcrTest : public test::TempDirTest {
protected:
    static constexpr double kWidth = 360, kHeight = 200;

    QString textSource()
    {
        PageSpec page;
        page.box[2] = kWidth;
        page.box[3] = kHeight;
        page.texts = {TextRun{30, 150, 12, "Signed by Margaret Okonkwo today"},
                      TextRun{30, 110, 12, "Account AB-4471-ZX is closed."},
                      TextRun{30, 70, 12, "Witness: Margaret Okafor, clerk"}};
        return PdfBuilder().page(page).write(path(QStringLiteral("source.pdf")));
    }

    QString scan(const ScanStyle& style, const QString& name = QStringLiteral("scan.pdf"))
    {
        return test::writeFile(path(name), test::scanOf(textSource(), style));
    }

    // Where the text layer of the source puts each phrase.
    std::vector<RedactionRegion> truth(const QStringList& phrases)
    {
        platform::Context ctx;
        auto document = platform::Document::open(ctx, textSource());
        return InkveilEngine::searchRegions(*document, phrases);
    }

    const QStringList m_phrases{QStringLiteral("Margaret Okonkwo"), QStringLiteral("ab 4471 zx")};
};

} // namespace

TEST(OcrMatcher, ForgivesWhatOcrConfusesAndNoMore)
{
    const struct {
        QString text;
        QString phrase;
        std::vector<Match> expected; // symbol indices into text
    } cases[] = {
        {QStringLiteral("Jane Doe"), QStringLiteral("jane doe"), {{0, 7}}},
        {QStringLiteral("5ECRET 0LIVER"), QStringLiteral("Secret Oliver"), {{0, 12}}},
        {QStringLiteral("rnary 1llin0is"), QStringLiteral("Mary Illinois"), {{0, 13}}},
        {QStringLiteral("AB–4471 “ZX”"), QStringLiteral("ab-4471-zx"), {{0, 10}}},
        {QStringLiteral("JaneDoe"), QStringLiteral("Jane Doe"), {{0, 6}}},
        // One wrong character per six: 11 letters allow one, not two.
        {QStringLiteral("Nightingate"), QStringLiteral("Nightingale"), {{0, 10}}},
        {QStringLiteral("Nighfingate"), QStringLiteral("Nightingale"), {}},
        {QStringLiteral("Nightngale"), QStringLiteral("Nightingale"), {{0, 9}}},
        // Shorter phrases must read exactly (after folding).
        {QStringLiteral("Dae"), QStringLiteral("Doe"), {}},
        {QStringLiteral("Okafor"), QStringLiteral("Okonkwo"), {}},
        {QStringLiteral("x Doe y Doe"), QStringLiteral("doe"), {{2, 4}, {8, 10}}},
        {QStringLiteral("Doe"), QStringLiteral(" - "), {}},
    };
    for (const auto& c : cases) {
        auto found = OcrMatcher({c.phrase}).find(symbolsOf(c.text));
        std::sort(found.begin(), found.end(), [](const Match& a, const Match& b) { return a.first < b.first; });
        EXPECT_EQ(found, c.expected) << c.text.toStdString() << " / " << c.phrase.toStdString();
    }
    // Without tolerance the confusions still fold, but nothing else differs.
    const OcrMatcher exact({QStringLiteral("Nightingale")}, false);
    EXPECT_TRUE(exact.find(symbolsOf(QStringLiteral("Nightingate"))).empty());
    EXPECT_EQ(exact.find(symbolsOf(QStringLiteral("N1GHTINGALE"))).size(), 1u);
}

TEST_F(OcrTest, FindsPhrasesInScansWhereTheyAreAndNotTheDecoy)
{
    const std::vector<RedactionRegion> expected = truth({QStringLiteral("Margaret Okonkwo"), QStringLiteral("AB-4471-ZX")});
    ASSERT_EQ(expected.size(), 2u);
    ScanStyle grey;
    ScanStyle bilevel;
    bilevel.dpi = 300;
    bilevel.bilevel = true;
    bilevel.degrees = -0.5;
    for (const ScanStyle& style : {grey, bilevel}) {
        const QString pdf = scan(style);
        const auto found = InkveilEngine::ocrRegions(pdf, {0}, m_phrases, QStringLiteral("eng"));
        ASSERT_EQ(found.size(), expected.size()) << style.dpi;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const Rect f = found[i].normalizedRect();
            const Rect e = expected[i].normalizedRect();
            EXPECT_TRUE(overlaps(f, e)) << i;
            // The phrase's own width, within a few points either way.
            EXPECT_NEAR(f.width * kWidth, e.width * kWidth, 8.0) << i;
            EXPECT_NEAR(f.minY() + f.maxY(), e.minY() + e.maxY(), 8.0 / kHeight) << i;
        }
    }
}

// Page by page: what automatic mode reads, and what only "always" finds.
TEST_F(OcrTest, AutoReadsPagesWhoseTextLayerFallsShortAndAlwaysReadsTheRest)
{
    const std::string picture = test::scanPictures(textSource(), ScanStyle{})[0];
    PdfBuilder pdf;
    const int image = pdf.object(picture);
    const std::string scanResources = "/XObject << /Scan " + std::to_string(image) + " 0 R >>";
    const int type3 = pdf.object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0]"
                                 " /CharProcs << /a " + std::to_string(image + 2) + " 0 R >> /Encoding << /Differences [97 /a] >>"
                                 " /FirstChar 97 /LastChar 97 /Widths [1000] >>");
    pdf.object(test::streamObject("1000 0 0 0 1000 1000 d1 0 0 1000 1000 re f"));

    const struct {
        const char* what;
        PageSpec page;
        bool read;
    } pages[] = {
        {"text", [] { PageSpec p; p.texts = {TextRun{72, 700, 12, "Plain text"}}; return p; }(), false},
        {"scan", [&] { PageSpec p; p.extraResources = scanResources; p.extraContent = "q 612 0 0 792 0 0 cm /Scan Do Q"; return p; }(), true},
        {"invisible text only", [] { PageSpec p; p.extraContent = "BT 3 Tr /F1 12 Tf 72 700 Td (Hidden) Tj ET"; p.extraResources = "/Font << /F1 3 0 R >>"; return p; }(), true},
        {"Type 3 text", [&] { PageSpec p; p.extraResources = "/Font << /T3 " + std::to_string(type3) + " 0 R >>"; p.extraContent = "BT /T3 12 Tf 72 700 Td (aaa) Tj ET"; return p; }(), true},
        {"blank", PageSpec{}, true},
        // A picture of the phrases beside a text layer that says something else.
        {"text and a small picture", [&] {
             PageSpec p;
             p.texts = {TextRun{72, 700, 12, "Quarterly summary attached"}};
             p.extraResources = scanResources;
             p.extraContent = "q " + std::to_string(kWidth) + " 0 0 " + std::to_string(kHeight) + " 72 300 cm /Scan Do Q";
             return p;
         }(), false},
    };
    std::vector<int> expectedAuto, expectedAlways;
    for (const auto& p : pages) {
        if (p.read)
            expectedAuto.push_back(static_cast<int>(expectedAlways.size()));
        expectedAlways.push_back(static_cast<int>(expectedAlways.size()));
        pdf.page(p.page);
    }
    const QString file = pdf.write(path(QStringLiteral("mixed.pdf")));
    platform::Context ctx;
    auto document = platform::Document::open(ctx, file);
    EXPECT_EQ(InkveilEngine::pagesToRead(*document, OcrMode::automatic), expectedAuto);
    EXPECT_EQ(InkveilEngine::pagesToRead(*document, OcrMode::always), expectedAlways);
    EXPECT_TRUE(InkveilEngine::pagesToRead(*document, OcrMode::off).empty());

    // The picture on the last page holds both phrases; only reading finds them.
    const int last = static_cast<int>(std::size(pages)) - 1;
    EXPECT_TRUE(InkveilEngine::searchRegions(*document, m_phrases).empty());
    const auto found = InkveilEngine::ocrRegions(file, {last}, m_phrases, QStringLiteral("eng"));
    EXPECT_EQ(found.size(), 2u);
    for (const RedactionRegion& r : found)
        EXPECT_EQ(r.pageIndex(), last);
}

TEST_F(OcrTest, ReadBackRejectsAPhraseLeftReadableAndPassesABlackedOutCopy)
{
    // A stand-in writer that forgot the boxes: the scan itself as the copy.
    const QString unredacted = scan(ScanStyle{});
    try {
        InkveilEngine::readBack(unredacted, {0}, {}, m_phrases, QStringLiteral("eng"), 200);
        ADD_FAILURE() << "a readable phrase passed";
    } catch (const InkveilError& e) {
        EXPECT_EQ(e.payload(), Reason::phraseReadable);
    }

    // The real redactor finds the phrases in the scan, blacks them out, and
    // its own read-back of the copy passes.
    RedactionPlan plan;
    plan.searchTerms = m_phrases;
    const RedactionResult result = InkveilEngine::redact(unredacted, path(QStringLiteral("out")), plan);
    EXPECT_EQ(result.verification.redactionCount, 2);
    EXPECT_NO_THROW(InkveilEngine::readBack(result.output, {0}, {0}, m_phrases, QStringLiteral("eng"), 200));
    // The decoy and the rest stay readable: the boxes cover the phrases only.
    const QStringList rest{QStringLiteral("Margaret Okafor"), QStringLiteral("closed")};
    EXPECT_EQ(InkveilEngine::ocrRegions(result.output, {0}, rest, QStringLiteral("eng"), {}, {}, 200).size(), 2u);

    // An occurrence the user excluded stays readable, and reading back lets it be.
    const auto account = InkveilEngine::ocrRegions(unredacted, {0}, {m_phrases[1]}, QStringLiteral("eng"));
    ASSERT_EQ(account.size(), 1u);
    plan.exclusions = account;
    const RedactionResult kept = InkveilEngine::redact(unredacted, path(QStringLiteral("out")), plan);
    EXPECT_EQ(kept.verification.redactionCount, 1);
    EXPECT_EQ(InkveilEngine::ocrRegions(kept.output, {0}, {m_phrases[1]}, QStringLiteral("eng"), {}, {}, 200).size(), 1u);
    EXPECT_TRUE(InkveilEngine::ocrRegions(kept.output, {0}, {m_phrases[0]}, QStringLiteral("eng"), {}, {}, 200).empty());
}

TEST_F(OcrTest, BadInputEndsInAClearOutcome)
{
    const auto messageOf = [](const auto& call) -> QString {
        try {
            call();
        } catch (const Error& e) {
            return e.description();
        }
        return {};
    };
    EXPECT_TRUE(messageOf([] { InkveilEngine::checkOcrLanguages({OcrMode::always, QStringLiteral("eng+xyz_ab")}); })
                    .contains(QStringLiteral("tesseract-ocr-xyz-ab")));
    EXPECT_TRUE(messageOf([] { InkveilEngine::checkOcrLanguages({OcrMode::always, QStringLiteral("eng;rm")}); })
                    .contains(QStringLiteral("eng or eng+deu")));
    EXPECT_TRUE(messageOf([] { InkveilEngine::checkOcrLanguages({OcrMode::off, QStringLiteral("xyz")}); }).isEmpty());

    const QString pdf = scan(ScanStyle{});
    EXPECT_EQ(messageOf([&] { InkveilEngine::ocrRegions(pdf, {0}, m_phrases, QStringLiteral("eng"), [] { return true; }); }),
              InkveilError::cancelled().description());

    const auto budget = platform::pageTimeBudget();
    platform::setPageTimeBudget(std::chrono::milliseconds(1));
    const QString timedOut = messageOf([&] { InkveilEngine::ocrRegions(pdf, {0}, m_phrases, QStringLiteral("eng")); });
    platform::setPageTimeBudget(budget);
    EXPECT_TRUE(timedOut.contains(QStringLiteral("page 1 could not be read"))) << timedOut.toStdString();

    // Pages entirely black, or of one grey, read as nothing.
    const QString plain = PdfBuilder().imagePage(0, 300, 200).imagePage(0x80, 300, 200).write(path(QStringLiteral("plain.pdf")));
    EXPECT_TRUE(InkveilEngine::ocrRegions(plain, {0, 1}, m_phrases, QStringLiteral("eng")).empty());
}

// Patterns are found in scans too, and the copy is read back for what they
// matched, exactly: the look-alike left visible does not fail the check.
TEST_F(OcrTest, PatternsAreFoundOnScansAndTheirLookAlikesStay)
{
    PageSpec page;
    page.box[2] = kWidth;
    page.box[3] = kHeight;
    // Two more, one to a line as in a list, read one after the other.
    page.texts = {TextRun{30, 150, 12, "Card 4111 1111 1111 1111 paid"}, TextRun{30, 110, 12, "Ref 4111 1111 1111 1112 kept"},
                  TextRun{30, 70, 12, "4012 8888 8888 1881"}, TextRun{30, 54, 12, "5500 0000 0000 0004"}};
    const QString source = PdfBuilder().page(page).write(path(QStringLiteral("cards.pdf")));
    const QString scanned = test::writeFile(path(QStringLiteral("cards-scan.pdf")), test::scanOf(source, ScanStyle{}));

    RedactionPlan plan;
    plan.patterns = {QStringLiteral("card")};
    const RedactionResult result = InkveilEngine::redact(scanned, path(QStringLiteral("out")), plan);
    ASSERT_EQ(result.patterns.size(), 1u);
    EXPECT_EQ(result.patterns.front().count, 3);
    const auto kept = InkveilEngine::ocrRegions(result.output, {0}, {QStringLiteral("Ref 4111")}, QStringLiteral("eng"), {}, {}, 200);
    EXPECT_EQ(kept.size(), 1u);
}
