// Whole sessions through the model alone, with the real engine behind it.

#include "tests/app/model_fixture.h"

#include "core/engine.h"
#include "tests/support/poppler.h"

#include <QFileInfo>

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
