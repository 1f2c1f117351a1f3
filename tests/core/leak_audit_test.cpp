#include "core/engine.h"
#include "tests/support/hidden_content_corpus.h"
#include "tests/support/poppler.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QRegularExpression>

#include <cmath>

using namespace inkveil;
using inkveil::test::CorpusDocument;

namespace {

constexpr int kDpi = 150;
constexpr Rect kPage{0, 0, 612, 792};

// Structure that only the source could have brought: none of it belongs in an
// output that is one image per page.
const char* const kForeignStructure[] = {"/Font",      "/Annot",    "/AcroForm",     "/EmbeddedFile", "/Filespec",
                                         "/JavaScript", "/JS",       "/OpenAction",   "/AA",           "/OCProperties",
                                         "/OCG",        "/Metadata", "/Names",        "/Info",         "/Prev",
                                         "/Widget",     "/Form",     "/ObjStm"};

std::vector<CorpusDocument> corpus()
{
    static const std::vector<CorpusDocument> documents = inkveil::test::hiddenContentCorpus();
    return documents;
}

bool haveTools()
{
    for (const char* tool : {"pdftotext", "pdffonts", "pdfdetach", "pdfinfo", "pdftoppm", "qpdf"}) {
        if (!inkveil::test::haveTool(QString::fromLatin1(tool)))
            return false;
    }
    return true;
}

} // namespace

class LeakAuditTest : public inkveil::test::TempDirTest, public ::testing::WithParamInterface<size_t> {};

// Redacts the phrase by search and by a mark over it, then reads the output
// with poppler and qpdf: only pixels may remain, and the phrase's area is black.
TEST_P(LeakAuditTest, OnlyPixelsSurvive)
{
    const CorpusDocument document = corpus()[GetParam()];
    SCOPED_TRACE(document.name.toStdString());
    if (!haveTools())
        GTEST_SKIP() << "poppler-utils and qpdf not installed";

    const QString source = inkveil::test::writeFile(path(QStringLiteral("source.pdf")), document.pdf);
    // The audit is only as good as its corpus: every secret must be there to find.
    const QByteArray original = inkveil::test::qpdfUncompressed(source) + document.pdf;
    for (const QString& secret : document.secrets)
        ASSERT_TRUE(original.contains(secret.toUtf8())) << secret.toStdString();

    RedactionPlan plan;
    plan.searchTerms = {inkveil::test::kCorpusPhrase};
    plan.regions = {RedactionRegion(0, *InkveilEngine::normalize(inkveil::test::kCorpusPhraseBox, kPage))};
    plan.dpi = kDpi;
    const RedactionResult result = InkveilEngine::redact(source, path(QStringLiteral("out")), plan);
    const QString out = result.output;
    EXPECT_EQ(inkveil::test::readAll(source), document.pdf);

    EXPECT_EQ(inkveil::test::popplerText(out).trimmed(), QString());
    EXPECT_EQ(inkveil::test::popplerFontCount(out), 0);
    EXPECT_TRUE(inkveil::test::popplerAttachmentList(out).startsWith(QStringLiteral("0 embedded files")))
        << inkveil::test::popplerAttachmentList(out).toStdString();
    EXPECT_EQ(inkveil::test::popplerXmp(out).trimmed(), QString());
    EXPECT_TRUE(inkveil::test::qpdfCheckPasses(out));
    EXPECT_EQ(inkveil::test::qpdfPageCount(out), document.pageCount);

    const QString info = inkveil::test::popplerInfo(out);
    const QByteArray raw = inkveil::test::readAll(out);
    const QByteArray plain = inkveil::test::qpdfUncompressed(out);
    ASSERT_FALSE(plain.isEmpty());
    for (const QString& secret : document.secrets) {
        EXPECT_FALSE(info.contains(secret, Qt::CaseInsensitive)) << secret.toStdString();
        EXPECT_FALSE(plain.contains(secret.toUtf8())) << secret.toStdString();
        EXPECT_FALSE(plain.toLower().contains(secret.toLower().toUtf8())) << secret.toStdString();
    }
    for (const char* name : kForeignStructure)
        EXPECT_FALSE(plain.contains(QByteArray(name) + ' ') || plain.contains(QByteArray(name) + '\n')) << name;
    // One revision: no older one behind an update.
    EXPECT_EQ(raw.count("%%EOF"), 1);
    EXPECT_EQ(raw.count("startxref"), 1);

    // The phrase's area, as poppler displays the page, is black to its edges.
    const auto page = inkveil::test::popplerRenderedPage(out, 1, kDpi);
    ASSERT_TRUE(page);
    const double scale = page->width / kPage.width;
    const Rect& box = inkveil::test::kCorpusPhraseBox;
    const int x0 = static_cast<int>(std::ceil(box.x * scale)) + 1;
    const int x1 = static_cast<int>(std::floor((box.x + box.width) * scale)) - 1;
    const int top = page->height - static_cast<int>(std::floor((box.y + box.height) * scale)) + 1;
    const int bottom = page->height - static_cast<int>(std::ceil(box.y * scale)) - 1;
    EXPECT_EQ(page->blackShare(x0, top, x1, bottom), 1.0);
    EXPECT_FALSE(page->isBlack(page->width / 2, page->height / 3)) << "the page is not black all over";
}

INSTANTIATE_TEST_SUITE_P(Corpus, LeakAuditTest, ::testing::Range<size_t>(0, corpus().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             QString name = corpus()[info.param].name;
                             name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
                             return name.toStdString();
                         });
