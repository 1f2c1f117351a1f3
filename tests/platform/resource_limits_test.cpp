#include "core/engine.h"
#include "platform/bitmap.h"
#include "platform/pdf_document.h"
#include "platform/pixel_buffer.h"
#include "platform/resource_limits.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QFileInfo>

#include <chrono>
#include <functional>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

namespace {

// Cached fonts and images would be evicted to make room: start without them.
void limitToMoreThanNow(std::size_t bytes)
{
    platform::Context ctx;
    fz_empty_store(ctx);
    platform::setMemoryLimit(platform::memoryInUse() + bytes);
}

RedactionPlan markPlan()
{
    RedactionPlan plan;
    plan.regions = {RedactionRegion(0, Rect{0.1, 0.1, 0.2, 0.2})};
    plan.dpi = 96;
    return plan;
}

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

// Page 1 of its file, named as the test names it.
QString notDrawn(const QString& file)
{
    return InkveilError::pageNotDrawn(file, 0).description();
}

// Each form draws the next one twenty times: 20^depth fills from a few bytes.
PdfBuilder exponentialForms(int depth)
{
    PdfBuilder b;
    std::string draws;
    for (int k = 0; k < 20; ++k)
        draws += "/X Do ";
    for (int i = 0; i < depth; ++i) {
        const bool last = i + 1 == depth;
        const std::string next = "/Resources << /XObject << /X " + std::to_string(6 + i) + " 0 R >> >>";
        b.object(inkveil::test::streamObject(last ? "0 0 10 10 re f" : draws,
                                             "/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + (last ? std::string() : next)));
    }
    PageSpec page;
    page.texts.push_back({72, 700, 12, "Slow"});
    page.extraResources = "/XObject << /X 5 0 R >>";
    page.extraContent = "/X Do";
    return b.page(page);
}

} // namespace

class ResourceLimitsTest : public inkveil::test::TempDirTest {
protected:
    // Restores the process's limits after a test lowers them.
    ~ResourceLimitsTest() override
    {
        platform::setMemoryLimit(m_memory);
        platform::setPageTimeBudget(m_time);
    }

    std::size_t m_memory = platform::memoryLimit();
    std::chrono::milliseconds m_time = platform::pageTimeBudget();
};

TEST_F(ResourceLimitsTest, MemoryIsCountedAndCapped)
{
    platform::Context ctx;
    limitToMoreThanNow(32u << 20);
    platform::resetPeakMemoryInUse();
    const std::size_t before = platform::memoryInUse();
    try {
        platform::Bitmap::newRgb(ctx, 4000, 4000);
        FAIL() << "a 48 MB bitmap fitted into 32 MB";
    } catch (const platform::PdfError& e) {
        EXPECT_EQ(e.code(), FZ_ERROR_MEMORY);
    }
    EXPECT_EQ(platform::memoryInUse(), before);

    // Our own page buffers count against the same limit.
    platform::PixelBuffer pixels;
    pixels.reset(2000, 2000, 3);
    EXPECT_GE(platform::memoryInUse(), before + 2000u * 2000u * 3u);
    EXPECT_THROW(pixels.reset(4000, 4000, 3), std::bad_alloc);
    EXPECT_EQ(pixels.width(), 0);
    EXPECT_EQ(platform::memoryInUse(), before);
    EXPECT_LE(platform::peakMemoryInUse(), platform::memoryLimit());
}

// Text needs far more memory than drawing: a page whose text cannot be read in
// full must not be flattened with its phrase unfound, visible and "verified".
TEST_F(ResourceLimitsTest, PhraseOnAPageWhoseTextCannotBeReadFailsTheRun)
{
    PageSpec page;
    page.texts.push_back({72, 750, 12, "John Smith"});
    const std::string line(250, 'x');
    for (int i = 0; i < 800; ++i)
        page.texts.push_back({10, 700.0 - i * 0.8, 2, line});
    const QString source = PdfBuilder().page(page).write(path(QStringLiteral("dense.pdf")));
    RedactionPlan plan;
    plan.searchTerms = {QStringLiteral("John Smith")};
    plan.regions = {RedactionRegion(0, Rect{0.8, 0, 0.1, 0.1})}; // elsewhere
    plan.dpi = 96;

    // Reading this page's text takes about 14 MB, drawing it under 3 MB.
    limitToMoreThanNow(8u << 20);
    const QString out = path(QStringLiteral("out"));
    EXPECT_EQ(failureOf(source, out, plan), notDrawn(source));
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(ResourceLimitsTest, PageThatRunsForeverIsStoppedByTheTimeBudget)
{
    const QString source = exponentialForms(8).write(path(QStringLiteral("slow.pdf")));
    platform::setPageTimeBudget(std::chrono::milliseconds(300));

    platform::Context ctx;
    auto document = platform::Document::open(ctx, source);
    ASSERT_TRUE(document);
    auto page = document->page(0);
    ASSERT_TRUE(page);
    auto bitmap = platform::Bitmap::newRgb(ctx, 100, 100);
    const std::function<void()> slowWork[] = {[&] { page->text(); },
                                             [&] { page->renderContents(ctx, bitmap, platform::Matrix{}, nullptr); }};
    for (const auto& work : slowWork) {
        try {
            work();
            ADD_FAILURE() << "20^8 forms read or drawn in time";
        } catch (const platform::PdfError& e) {
            EXPECT_FALSE(e.aborted());
        }
    }
    document.reset();

    const QString out = path(QStringLiteral("out"));
    EXPECT_EQ(failureOf(source, out, markPlan()), notDrawn(source));
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(ResourceLimitsTest, CancellingStopsAPageMidDrawing)
{
    const QString source = exponentialForms(8).write(path(QStringLiteral("slow.pdf")));
    const QString out = path(QStringLiteral("out"));
    const auto start = std::chrono::steady_clock::now();
    // Still false when the run starts; true once the page is being drawn.
    const auto cancel = [start] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500); };
    EXPECT_EQ(failureOf(source, out, markPlan(), cancel), QStringLiteral("Redaction was cancelled. No output was saved."));
    EXPECT_LT(std::chrono::steady_clock::now() - start, platform::kDefaultPageTimeBudget / 2);
    EXPECT_FALSE(QFileInfo::exists(out));
}
