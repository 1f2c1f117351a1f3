// Whole sessions through the model alone, with the real engine behind it.

#include "tests/app/model_fixture.h"

#include "core/engine.h"
#include "tests/support/poppler.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <signal.h>
#include <sys/resource.h>

using namespace inkveil;
using namespace inkveil::test;

class SessionTest : public ModelTest {};

TEST_F(SessionTest, AddSearchMarkRedactAndCheck)
{
    PageSpec first;
    first.texts = {{72, 700, 12, "Agreement with Jane Doe"}, {72, 650, 12, "Terms follow."}};
    PageSpec second;
    second.texts = {{72, 300, 12, "Signed: Jane Doe"}};
    subdir(QStringLiteral("case"));
    const QString contract = PdfBuilder().page(first).page(second).write(path(QStringLiteral("case/Contract.pdf")));
    PdfBuilder().textPage("Account 1234-5678").write(path(QStringLiteral("case/Invoice.pdf")));
    pdf(QStringLiteral("case/Notes.pdf")); // no marks: left out
    const QByteArray original = readAll(contract);

    model().add({file(QStringLiteral("case"))});
    ASSERT_EQ(model().inputs().size(), 3);
    model().setSearchText(QStringLiteral("jane doe"));
    model().addSearchMatches();
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 2 occurrences of \u201Cjane doe\u201D."));
    // A false positive removed stays visible, though the phrase finds it again.
    const RedactionRegion kept = model().selectedMarks().at(0);
    const RedactionRegion dropped = model().selectedMarks().at(1);
    ASSERT_EQ(dropped.pageIndex(), 1);
    EXPECT_EQ(model().markText(dropped), QStringLiteral("Jane Doe"));
    model().removeMark(dropped);
    EXPECT_EQ(model().selectedPhrases(), (QList<PhraseMarks>{{QStringLiteral("jane doe"), 1}}));
    model().setSelection(model().inputs().at(1).id);
    model().addMark(Rect{60.0 / 612, 712.0 / 792, 200.0 / 612, 24.0 / 792}); // over the account number

    dialogs.folderAnswer = subdir(QStringLiteral("out"));
    model().setDpi(150);
    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    ASSERT_FALSE(model().errorMessage()) << model().errorMessage()->toStdString();
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Verified 2 PDFs with 2 permanent redactions."));
    ASSERT_EQ(model().outputs().size(), 2);
    EXPECT_EQ(QFileInfo(model().outputs().at(0)).fileName(), QStringLiteral("Contract \u2014 Redacted.pdf"));
    const auto blackShare = [&](const RedactionRegion& region) {
        const auto raster = popplerPageImage(model().outputs().at(0), static_cast<int>(region.pageIndex()) + 1);
        if (!raster)
            return -1.0;
        const Rect r = region.normalizedRect();
        return raster->blackShare(static_cast<int>(r.x * raster->width) + 1, static_cast<int>((1 - r.y - r.height) * raster->height) + 1,
                                  static_cast<int>((r.x + r.width) * raster->width) - 1, static_cast<int>((1 - r.y) * raster->height) - 1);
    };
    EXPECT_EQ(blackShare(kept), 1.0);
    const double visible = blackShare(dropped);
    EXPECT_TRUE(visible > 0.02 && visible < 0.6) << visible; // ink of the letters on white
    EXPECT_FALSE(model().hasUnredactedMarks());
    EXPECT_EQ(readAll(contract), original);
    EXPECT_EQ(InkveilEngine::verify(model().outputs().at(0), 2, 2, {QStringLiteral("jane doe")}).pageCount, 2);
    EXPECT_NO_THROW(InkveilEngine::verify(model().outputs().at(1), 1, 1, {}));
}

TEST_F(SessionTest, DamageAfterAddingAndCancellingMidDocumentLeaveNothing)
{
    model().add({pdf(QStringLiteral("a.pdf"), 2), pdf(QStringLiteral("b.pdf"), 3)});
    for (const RedactInput& input : model().inputs()) {
        model().setSelection(input.id);
        model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    }
    const QString out = subdir(QStringLiteral("out"));
    model().setOutputFolder(out);

    // Cancelled after the first page of the second document has been rendered.
    std::atomic<bool> inSecond{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p,
                            const InkveilEngine::CancelCheck& cancel, const InkveilEngine::PageProgress& progress) {
        if (QFileInfo(s).fileName() != QStringLiteral("b.pdf"))
            return InkveilEngine::redact(s, d, p, cancel, progress);
        return InkveilEngine::redact(s, d, p, cancel, [&](std::int64_t done, std::int64_t count) {
            progress(done, count);
            inSecond = true;
            pollFor30s(cancel);
        });
    });
    model().redact();
    ASSERT_TRUE(QTest::qWaitFor([&] { return inSecond.load(); }, 60000));
    model().cancelRedactionAndWait();
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Redaction cancelled. No output was saved."));
    EXPECT_TRUE(entriesOf(out).isEmpty());

    // The second source is damaged on disk after it was added.
    notPdf(QStringLiteral("b.pdf"));
    model().setRedactor({});
    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(model().errorMessage(), QStringLiteral("Could not read b.pdf."));
    EXPECT_FALSE(model().resultMessage());
    EXPECT_TRUE(entriesOf(out).isEmpty());
}

// A write that fails in the second document (a file-size limit standing in
// for a full disk) takes the first document's finished output with it.
TEST_F(SessionTest, AWriteFailureInTheSecondDocumentLeavesNothing)
{
    model().add({pdf(QStringLiteral("a.pdf"), 1), pdf(QStringLiteral("b.pdf"), 8)});
    for (const RedactInput& input : model().inputs()) {
        model().setSelection(input.id);
        model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    }
    RedactionPlan onePage;
    onePage.regions = {RedactionRegion(0, Rect{0.1, 0.1, 0.3, 0.3})};
    onePage.dpi = model().dpi();
    const qint64 firstSize =
        QFileInfo(InkveilEngine::redact(model().inputs().at(0).url, subdir(QStringLiteral("probe")), onePage).output)
            .size();
    const QString out = subdir(QStringLiteral("out"));
    model().setOutputFolder(out);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(3 * firstSize);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    model().redact();
    const bool ended = waitForRunEnd();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(ended);

    // Named after the copy it would have made, not the vanished temporary file.
    EXPECT_EQ(model().errorMessage(), QStringLiteral("File too large: ") + QDir(out).filePath(QStringLiteral("b \u2014 Redacted.pdf")));
    EXPECT_FALSE(model().resultMessage());
    EXPECT_TRUE(model().outputs().isEmpty());
    EXPECT_TRUE(entriesOf(out).isEmpty());
}
