#include "core/engine.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/poppler.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace inkveil;
using inkveil::test::entriesOf;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

namespace {

RedactionPlan planWith(std::vector<RedactionRegion> regions, double dpi = 200)
{
    RedactionPlan plan;
    plan.regions = std::move(regions);
    plan.dpi = dpi;
    return plan;
}

// Runs redact and returns the error text it throws ("" when it succeeds).
QString failureOf(const QString& source, const QString& out, const RedactionPlan& plan,
                  const InkveilEngine::CancelCheck& cancel = {})
{
    try {
        InkveilEngine::redact(source, out, plan, cancel);
    } catch (const Error& e) {
        return e.description();
    }
    return {};
}

} // namespace

class RedactTest : public inkveil::test::TempDirTest {
protected:
    QString twoPageSource()
    {
        return PdfBuilder()
            .textPage("Secret John Smith", 72, 700)
            .textPage("Second page text", 72, 700)
            .info("/Title (Board minutes) /Author (Jane) /Keywords (merger)")
            .write(path(QStringLiteral("Contract.pdf")));
    }
};

// Pixels under a mark: BoxCoversEveryPixelItTouches; what else survives: the leak audit.
TEST_F(RedactTest, FlattensEveryPageAndCountsAMarkOnce)
{
    const QString source = twoPageSource();
    const QByteArray before = inkveil::test::readAll(source);
    const QString out = path(QStringLiteral("out"));

    const RedactionRegion mark(0, Rect{0.1, 0.85, 0.4, 0.06});
    const RedactionResult result = InkveilEngine::redact(source, out, planWith({mark, mark}));

    EXPECT_EQ(QFileInfo(result.output).fileName(), QStringLiteral("Contract \u2014 Redacted.pdf"));
    EXPECT_EQ(result.verification, (RedactionVerification{2, 1, false, false, false}));
    EXPECT_EQ(inkveil::test::readAll(source), before);
    EXPECT_EQ(entriesOf(out), QStringList{QStringLiteral("Contract \u2014 Redacted.pdf")});
}

TEST_F(RedactTest, PixelSizeFollowsTheClampedResolution)
{
    const QString source = PdfBuilder().textPage("Letter").write(path(QStringLiteral("letter.pdf")));
    // 50 is raised to 96, 1000 lowered to 400.
    for (const auto& [dpi, width, height] : {std::tuple{200.0, 1700, 2200}, {50.0, 816, 1056}, {1000.0, 3400, 4400}}) {
        const auto result = InkveilEngine::redact(source, dir(), planWith({RedactionRegion(0, Rect{0, 0, 0.1, 0.1})}, dpi));
        if (!inkveil::test::havePoppler())
            GTEST_SKIP();
        const auto images = inkveil::test::popplerImages(result.output);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(images[0].width, width) << dpi;
        EXPECT_EQ(images[0].height, height) << dpi;
    }
}

TEST_F(RedactTest, BoxCoversEveryPixelItTouches)
{
    // A mid-grey page; the mark's edges fall inside pixels at 150 dpi.
    PageSpec grey;
    grey.extraContent = "0.5 g 0 0 612 792 re f";
    const QString source = PdfBuilder().page(grey).write(path(QStringLiteral("grey.pdf")));
    const Rect n{100.3 / 612, 200.3 / 792, 50.0 / 612, 40.0 / 792};
    const auto result = InkveilEngine::redact(source, dir(), planWith({RedactionRegion(0, n)}, 150));
    if (!inkveil::test::havePoppler())
        GTEST_SKIP();
    const auto img = inkveil::test::popplerPageImage(result.output, 1);
    ASSERT_TRUE(img);
    const double s = 150.0 / 72;
    const int x0 = static_cast<int>(std::floor(100.3 * s)), x1 = static_cast<int>(std::ceil(150.3 * s));
    const int top = img->height - static_cast<int>(std::ceil(240.3 * s));
    const int bottom = img->height - static_cast<int>(std::floor(200.3 * s));
    EXPECT_EQ(img->blackShare(x0, top, x1, bottom), 1.0);
    // Just outside stays the page's grey.
    EXPECT_FALSE(img->isBlack(x0 - 1, (top + bottom) / 2));
    EXPECT_FALSE(img->isBlack(x1, (top + bottom) / 2));
    EXPECT_FALSE(img->isBlack((x0 + x1) / 2, top - 1));
    EXPECT_FALSE(img->isBlack((x0 + x1) / 2, bottom));
}

// Output pages are the pages viewers show: the media box as MuPDF resolves it,
// in real points (/UserUnit), turned by MuPDF's quarter turn; the image is the
// unturned box at the chosen resolution, and a mark keeps its place in it.
TEST_F(RedactTest, OutputPagesAreThePagesViewersShow)
{
    struct Case {
        const char* name;
        double box[4];
        int rotate;
        const char* entries;
        const char* size;
        int rotation;
        int imageWidth;
        int imageHeight;
    };
    const Case cases[] = {
        {"user unit", {0, 0, 100, 50}, 0, "/UserUnit 7.2", "720 x 360 pts", 0, 1440, 720},
        {"empty box", {0, 0, 0, 0}, 0, "", "612 x 792 pts", 0, 1224, 1584},
        {"shifted, quarter turn", {100, 100, 712, 892}, 90, "", "612 x 792 pts", 90, 1224, 1584},
        {"odd turn", {0, 0, 200, 100}, 46, "", "200 x 100 pts", 90, 400, 200},
        {"negative turn", {0, 0, 200, 100}, -90, "", "200 x 100 pts", 270, 400, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PageSpec layout;
        std::copy(std::begin(c.box), std::end(c.box), layout.box);
        layout.rotate = c.rotate;
        layout.extraPageEntries = c.entries;
        // Ink over the top-right tenth of the box as MuPDF resolves it.
        const bool empty = c.box[2] == 0;
        const double x = empty ? 0 : c.box[0], y = empty ? 0 : c.box[1];
        const double w = empty ? 612 : c.box[2] - c.box[0], h = empty ? 792 : c.box[3] - c.box[1];
        layout.extraContent = "0 g " + std::to_string(x + 0.9 * w) + " " + std::to_string(y + 0.9 * h) + " "
            + std::to_string(0.1 * w) + " " + std::to_string(0.1 * h) + " re f";
        const QString source = PdfBuilder().page(layout).write(path(QStringLiteral("page.pdf")));
        const QByteArray before = inkveil::test::readAll(source);
        // Bottom-left quarter of the page.
        const auto result = InkveilEngine::redact(source, dir(), planWith({RedactionRegion(0, Rect{0, 0, 0.5, 0.5})}, 144));
        EXPECT_EQ(inkveil::test::readAll(source), before);
        if (!inkveil::test::havePoppler())
            GTEST_SKIP();
        const QString info = inkveil::test::popplerInfo(result.output);
        EXPECT_TRUE(info.contains(QLatin1String(c.size))) << qPrintable(info);
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page rot:\\s+%1\\n").arg(c.rotation))))
            << qPrintable(info);
        const auto img = inkveil::test::popplerPageImage(result.output, 1);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->width, c.imageWidth);
        EXPECT_EQ(img->height, c.imageHeight);
        {
            // The preview draws the same box, so marks placed on it land here.
            platform::Context ctx;
            const auto page = platform::Document::open(ctx, source)->page(0);
            ASSERT_TRUE(page);
            EXPECT_NEAR(page->mediaBox().width / page->mediaBox().height, double(img->width) / img->height, 1e-3);
        }
        EXPECT_TRUE(img->isBlack(2, img->height - 3));
        EXPECT_TRUE(img->isBlack(img->width / 2 - 2, img->height / 2 + 2));
        EXPECT_FALSE(img->isBlack(img->width / 2 + 2, img->height / 2 - 2));
        EXPECT_TRUE(img->isBlack(img->width - 1 - img->width / 100, img->height / 100 + 1)) << "content lost";
        QFile::remove(result.output);
    }
}

TEST_F(RedactTest, InvalidPlansFailBeforeAnythingIsWritten)
{
    const QString source = PdfBuilder().textPage("a").textPage("b").textPage("c").write(path(QStringLiteral("three.pdf")));
    const QString out = path(QStringLiteral("deep/out"));
    const QString invalid = InkveilError::invalidRegion().description();
    EXPECT_EQ(failureOf(source, out, planWith({RedactionRegion(5, Rect{0, 0, 0.5, 0.5})})), invalid);
    EXPECT_EQ(failureOf(source, out, planWith({RedactionRegion(-1, Rect{0, 0, 0.5, 0.5})})), invalid);
    EXPECT_EQ(failureOf(source, out, planWith({RedactionRegion(0, Rect{0.2, 0.2, 0, 0.5})})), invalid);

    // Phrases that are blank or found nowhere leave nothing to redact.
    RedactionPlan blank;
    blank.searchTerms = {QStringLiteral("   "), QStringLiteral("\t\n")};
    EXPECT_EQ(failureOf(source, out, blank), QStringLiteral("Mark an area or add a search phrase before redacting."));
    blank.searchTerms = {QStringLiteral("not in this document")};
    EXPECT_EQ(failureOf(source, out, blank), QStringLiteral("No occurrence of \"not in this document\" was found in three.pdf."));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("deep"))));
}

TEST_F(RedactTest, NeverOverwritesAndNamesAfterTheSource)
{
    const QString source = PdfBuilder().textPage("x").write(path(QStringLiteral("Report.final.pdf")));
    const auto plan = planWith({RedactionRegion(0, Rect{0, 0, 1, 1})}, 96);
    const QString out = path(QStringLiteral("out"));
    QDir().mkpath(out);
    const QString existing = inkveil::test::writeFile(QDir(out).filePath(QStringLiteral("Report.final \u2014 Redacted.pdf")), "keep me");

    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    const auto second = InkveilEngine::redact(source, out, plan, {},
                                              [&](std::int64_t done, std::int64_t total) { seen.emplace_back(done, total); });
    EXPECT_EQ(QFileInfo(second.output).fileName(), QStringLiteral("Report.final \u2014 Redacted 2.pdf"));
    EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1, 1}}));
    EXPECT_EQ(inkveil::test::readAll(existing), QByteArray("keep me"));
}

TEST_F(RedactTest, BadSourcesAndDestinationsFailClearly)
{
    const auto plan = planWith({RedactionRegion(0, Rect{0, 0, 1, 1})}, 96);
    const QString notPdf = inkveil::test::writeFile(path(QStringLiteral("Invoice 7.pdf")), "%PDF-1.4\nthis is not really a PDF\n");
    EXPECT_EQ(failureOf(notPdf, dir(), plan), QStringLiteral("Could not read Invoice 7.pdf."));
    EXPECT_EQ(failureOf(path(QStringLiteral("missing.pdf")), dir(), plan), QStringLiteral("Could not read missing.pdf."));
    // A file where the destination folder, or one above it, should be.
    const QString fine = PdfBuilder().textPage("fine").write(path(QStringLiteral("fine.pdf")));
    EXPECT_FALSE(failureOf(fine, notPdf, plan).isEmpty());
    EXPECT_FALSE(failureOf(fine, notPdf + QStringLiteral("/sub"), plan).isEmpty());

    const QString empty = PdfBuilder().write(path(QStringLiteral("Empty.pdf")));
    EXPECT_EQ(failureOf(empty, dir(), plan), QStringLiteral("Empty.pdf contains no pages."));

    // Truncated halfway: either repaired and readable, or refused, never a crash.
    const QByteArray whole = PdfBuilder().textPage("cut").build();
    const QString cut = inkveil::test::writeFile(path(QStringLiteral("cut.pdf")), whole.left(whole.size() / 2));
    const QString cutResult = failureOf(cut, path(QStringLiteral("cut-out")), plan);
    EXPECT_TRUE(cutResult.isEmpty() || cutResult == QStringLiteral("Could not read cut.pdf.")) << qPrintable(cutResult);

    // An absurd media box is refused instead of allocating gigabytes.
    PageSpec huge;
    huge.box[2] = 14400;
    huge.box[3] = 14400;
    const QString big = PdfBuilder().page(huge).write(path(QStringLiteral("huge.pdf")));
    EXPECT_EQ(failureOf(big, path(QStringLiteral("big-out")), planWith({RedactionRegion(0, Rect{0, 0, 1, 1})}, 300)),
              InkveilError::pageNotDrawn(big, 0).description());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("big-out"))));
}

TEST_F(RedactTest, SearchTermsBecomeRegionsAndCountOnce)
{
    const QString source = twoPageSource();
    Rect found;
    {
        platform::Context ctx;
        auto doc = platform::Document::open(ctx, source);
        const auto regions = InkveilEngine::searchRegions(*doc, {QStringLiteral("john smith")});
        ASSERT_EQ(regions.size(), 1u);
        found = regions[0].normalizedRect();
    }
    RedactionPlan plan = planWith({RedactionRegion(0, found)}, 96);
    plan.searchTerms = {QStringLiteral("  john smith\n"), QStringLiteral("SECOND page")};
    const auto result = InkveilEngine::redact(source, dir(), plan);
    EXPECT_EQ(result.verification.redactionCount, 2); // the marked one is also found
}

namespace {

// Threads of this process, to catch a writer thread left running.
qsizetype threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace

TEST_F(RedactTest, CancelledOrFailedRunsLeaveNoFileAndNoThread)
{
    PdfBuilder eight;
    for (int i = 0; i < 8; ++i) {
        PageSpec page;
        page.texts.push_back({72, 700, 12, "Page " + std::to_string(i + 1)});
        // Page 6 draws an image that does not exist: an error while rendering.
        if (i == 5)
            page.extraContent = "q 100 0 0 100 0 0 cm /Missing Do Q";
        page.extraContent += "\n0.3 g 0 0 612 300 re f";
        eight.page(page);
    }
    const QString source = eight.write(path(QStringLiteral("eight.pdf")));
    const auto plan = planWith({RedactionRegion(0, Rect{0, 0, 0.5, 0.5})}, 150);
    const QString cancelled = QStringLiteral("Redaction was cancelled. No output was saved.");
    const qsizetype threads = threadCount();

    EXPECT_EQ(failureOf(source, path(QStringLiteral("a/b/c")), plan, [] { return true; }), cancelled);
    // Asked once after the checks, then once before each page: true while page 3
    // is being drawn stops before page 4.
    int asked = 0;
    EXPECT_EQ(failureOf(source, path(QStringLiteral("a/b/c")), plan, [&] { return ++asked > 4; }), cancelled);
    EXPECT_EQ(asked, 5);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("a"))));
    EXPECT_EQ(threadCount(), threads);

    const QString out = path(QStringLiteral("out"));
    QDir().mkpath(out);
    EXPECT_EQ(failureOf(source, out, plan, [&] { return ++asked > 7; }), cancelled);
    EXPECT_TRUE(entriesOf(out).isEmpty());

    EXPECT_EQ(failureOf(source, out, plan), InkveilError::damagedPage(source, 5).description());
    EXPECT_EQ(threadCount(), threads);
    EXPECT_TRUE(entriesOf(out).isEmpty());
}

// A page that MuPDF draws with errors is refused by name; allowed, it is
// flattened as drawn and its readable text is still found and blacked out.
TEST_F(RedactTest, DamagedPagesAreNamedAndFlattenedOnlyWhenAllowed)
{
    const struct {
        const char* name;
        const char* damage;
    } cases[] = {
        {"unknown operator", "1 2 3 frobnicate"},
        {"missing image", "q 10 0 0 10 0 0 cm /Missing Do Q"},
        {"syntax error", "0 0 m 1 1 l ] ) S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageSpec damaged;
        damaged.texts.push_back({72, 700, 24, "Visible Secret"});
        damaged.extraContent = std::string(c.damage) + "\n0 g 300 100 100 100 re f";
        const QString source = PdfBuilder().textPage("intact").page(damaged).write(path(QStringLiteral("damaged.pdf")));
        const QByteArray before = inkveil::test::readAll(source);
        const QString out = path(QStringLiteral("out"));
        RedactionPlan plan = planWith({}, 96);
        plan.searchTerms = {QStringLiteral("Secret")};

        EXPECT_EQ(failureOf(source, out, plan),
                  QStringLiteral("Page 2 of damaged.pdf could not be drawn completely: its content is damaged."));
        EXPECT_FALSE(QFileInfo::exists(out));

        plan.allowDamaged = true;
        // Read as a picture too: the damaged page is read as MuPDF draws it.
        plan.ocr.mode = OcrMode::always;
        const RedactionResult result = InkveilEngine::redact(source, out, plan);
        EXPECT_GE(result.verification.redactionCount, 1);
        EXPECT_EQ(inkveil::test::readAll(source), before);
        if (!inkveil::test::havePoppler())
            GTEST_SKIP();
        const auto page = inkveil::test::popplerPageImage(result.output, 2);
        ASSERT_TRUE(page);
        // What follows the damage is drawn (the square), the phrase is covered.
        const double s = 96.0 / 72;
        EXPECT_TRUE(page->isBlack(static_cast<int>(350 * s), page->height - static_cast<int>(150 * s)));
        EXPECT_FALSE(page->isBlack(static_cast<int>(250 * s), page->height - static_cast<int>(150 * s)));
        EXPECT_TRUE(page->isBlack(static_cast<int>(184 * s), page->height - static_cast<int>(707 * s)));
        QFile::remove(result.output);
        QDir().rmdir(out);
    }
}

TEST_F(RedactTest, ColourSurvivesAmongGreyPages)
{
    // Pages are drawn in grey while no colour has been seen; colour must never
    // be lost to that, not even colour that a Type 3 glyph paints by itself.
    PdfBuilder pdf;
    pdf.textPage("grey text");
    const int glyph = pdf.object("<< /Length 40 >>\nstream\n1000 0 d0 1 0 0 rg 0 0 1000 1000 re f\nendstream");
    const int font = pdf.object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 0.001 0 0] "
                                "/CharProcs << /a " + std::to_string(glyph) + " 0 R >> /Encoding << /Type /Encoding "
                                "/Differences [97 /a] >> /FirstChar 97 /LastChar 97 /Widths [1000] /Resources << >> >>");
    const std::string draw = "BT /T3 50 Tf 100 100 Td (a) Tj ET";
    const int form = pdf.object("<< /Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /T3 "
                                + std::to_string(font) + " 0 R >> >> /Length " + std::to_string(draw.size())
                                + " >>\nstream\n" + draw + "\nendstream");
    PageSpec glyphs;
    glyphs.extraResources = "/XObject << /Fm " + std::to_string(form) + " 0 R >>";
    glyphs.extraContent = "/Fm Do";
    pdf.page(glyphs);
    const QString source = pdf.write(path(QStringLiteral("colours.pdf")));

    const auto result = InkveilEngine::redact(source, dir(), planWith({RedactionRegion(0, Rect{0, 0, 0.1, 0.1})}, 96));
    if (!inkveil::test::havePoppler())
        GTEST_SKIP();
    const auto images = inkveil::test::popplerImages(result.output);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].color, QStringLiteral("gray"));
    EXPECT_EQ(images[1].color, QStringLiteral("rgb"));
    const auto glyphPage = inkveil::test::popplerPageImage(result.output, 2);
    ASSERT_TRUE(glyphPage);
    // The glyph's square, 100 points from the bottom-left, 50 points wide.
    const unsigned char* p = glyphPage->at(125 * 96 / 72, glyphPage->height - 125 * 96 / 72);
    EXPECT_GT(p[0], 200);
    EXPECT_LT(p[1], 50);
}

TEST_F(RedactTest, SourcesWithLongNamesGetCopiesThatFit)
{
    const QString source = PdfBuilder().textPage("x").write(path(QString(245, u'n') + QStringLiteral(".pdf")));
    const auto plan = planWith({RedactionRegion(0, Rect{0, 0, 1, 1})}, 96);
    const QString out = path(QStringLiteral("out"));
    const QString first = InkveilEngine::redact(source, out, plan).output;
    const QString second = InkveilEngine::redact(source, out, plan).output;
    EXPECT_TRUE(QFileInfo(first).fileName().endsWith(QStringLiteral("n \u2014 Redacted.pdf")));
    EXPECT_TRUE(QFileInfo(second).fileName().endsWith(QStringLiteral("n \u2014 Redacted 2.pdf")));
    EXPECT_EQ(entriesOf(out).size(), 2);
}

// Plain pages are pure black and white; smooth ones carry the grey edges of
// anti-aliasing, and their marks stay solid.
TEST_F(RedactTest, SmoothPagesAreAntiAliased)
{
    const QString source = PdfBuilder().textPage("Smooth edges on every letter", 72, 700, 30).write(path(QStringLiteral("s.pdf")));
    for (const bool smooth : {false, true}) {
        SCOPED_TRACE(smooth);
        RedactionPlan plan = planWith({RedactionRegion(0, Rect{0.1, 0.1, 0.3, 0.3})}, 96);
        plan.smooth = smooth;
        const QString output = InkveilEngine::redact(source, path(smooth ? QStringLiteral("smooth") : QStringLiteral("plain")), plan).output;
        if (!inkveil::test::havePoppler())
            GTEST_SKIP();
        const auto img = inkveil::test::popplerPageImage(output, 1);
        ASSERT_TRUE(img);
        int greys = 0;
        for (int y = 0; y < img->height; ++y) {
            for (int x = 0; x < img->width; ++x) {
                const unsigned char v = img->at(x, y)[0];
                greys += v != 0 && v != 255 ? 1 : 0;
            }
        }
        EXPECT_EQ(greys > 0, smooth) << greys;
        EXPECT_TRUE(img->isBlack(static_cast<int>(0.25 * img->width), static_cast<int>(0.75 * img->height)));
    }
}
