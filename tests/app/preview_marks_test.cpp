#include "tests/app/model_fixture.h"

#include <QColor>

#include <cmath>

using namespace inkveil;
using namespace inkveil::test;

namespace {

// A page whose lower-left quarter of the media box is painted black.
PageSpec quarterPage(double x0, double y0, double width, double height, int rotate = 0)
{
    PageSpec spec;
    spec.box[0] = x0;
    spec.box[1] = y0;
    spec.box[2] = x0 + width;
    spec.box[3] = y0 + height;
    spec.rotate = rotate;
    spec.extraContent = "0 0 0 rg " + std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(width / 2)
        + " " + std::to_string(height / 2) + " re f";
    return spec;
}

bool dark(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y)).lightness() < 64;
}

} // namespace

class PreviewTest : public ModelTest {};

// ---- The preview image -------------------------------------------------------

struct PreviewCase {
    const char* name;
    PageSpec page;
    int width;
    int height;
};

inline void PrintTo(const PreviewCase& value, std::ostream* out) { *out << value.name; }

class PreviewGeometryTest : public ModelTest, public ::testing::WithParamInterface<PreviewCase> {};

TEST_P(PreviewGeometryTest, TheMediaBoxFillsTheImageUprightAsStored)
{
    const QString file = PdfBuilder().page(GetParam().page).write(path(QStringLiteral("page.pdf")));
    model().add({file});

    const QImage image = model().previewImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), GetParam().width);
    EXPECT_EQ(image.height(), GetParam().height);
    // The black quarter sits at the box's lower-left corner, whatever the box's origin.
    EXPECT_TRUE(dark(image, 5, image.height() - 5));
    EXPECT_TRUE(dark(image, image.width() / 2 - 5, image.height() / 2 + 5));
    EXPECT_FALSE(dark(image, image.width() / 2 + 5, image.height() / 2 + 5));
    EXPECT_FALSE(dark(image, image.width() - 5, 5));
}

INSTANTIATE_TEST_SUITE_P(Pages, PreviewGeometryTest,
                         ::testing::Values(PreviewCase{"letter", quarterPage(0, 0, 612, 792), 927, 1200},
                                           PreviewCase{"landscape", quarterPage(0, 0, 800, 400), 1200, 600},
                                           PreviewCase{"shiftedBox", quarterPage(100, 100, 612, 792), 927, 1200},
                                           PreviewCase{"rotateIgnored", quarterPage(0, 0, 612, 792, 90), 927, 1200},
                                           PreviewCase{"smallPage", quarterPage(0, 0, 100, 50), 1200, 600}),
                         [](const ::testing::TestParamInfo<PreviewCase>& info) { return std::string(info.param.name); });

TEST_F(PreviewTest, ThePreviewShowsThePageWithItsAnnotations)
{
    PdfBuilder builder;
    const std::string fill = "0 0 0 rg 0 0 306 396 re f";
    const int appearance = builder.object("<< /Type /XObject /Subtype /Form /BBox [0 0 306 396] /Length "
                                          + std::to_string(fill.size()) + " >>\nstream\n" + fill + "\nendstream");
    PageSpec page;
    page.annots = {"<< /Type /Annot /Subtype /Square /Rect [306 396 612 792] /AP << /N " + std::to_string(appearance)
                   + " 0 R >> >>"};
    builder.page(page);
    model().add({builder.write(path(QStringLiteral("annotated.pdf")))});

    const QImage image = model().previewImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(dark(image, image.width() - 20, 20));
    EXPECT_FALSE(dark(image, 20, image.height() - 20));
}

// ---- Pages ---------------------------------------------------------------------

TEST_F(PreviewTest, PagingStopsAtBothEnds)
{
    model().previousPage();
    model().nextPage();
    EXPECT_EQ(model().currentPage(), 0);

    model().add({pdf(QStringLiteral("three.pdf"), 3)});
    Emissions pageChanged(model(), &AppModel::currentPageChanged);
    model().previousPage();
    EXPECT_EQ(pageChanged.count(), 0);

    model().nextPage();
    model().nextPage();
    EXPECT_EQ(model().currentPage(), 2);
    model().nextPage();
    EXPECT_EQ(model().currentPage(), 2);
    EXPECT_EQ(pageChanged.count(), 2);

    model().previousPage();
    EXPECT_EQ(model().currentPage(), 1);
}

TEST_F(PreviewTest, APageOutOfRangeIsPulledBack)
{
    const QString file = pdf(QStringLiteral("doc.pdf"), 5);
    model().add({file});

    model().setCurrentPage(-3);
    EXPECT_EQ(model().currentPage(), 0);
    model().setCurrentPage(99);
    EXPECT_EQ(model().currentPage(), 4);

    // The file on disk was replaced by a shorter one: the next refresh corrects the page.
    pdf(QStringLiteral("doc.pdf"), 2);
    model().refreshPreview();
    EXPECT_EQ(model().currentPage(), 1);
    EXPECT_FALSE(model().previewImage().isNull());
    EXPECT_FALSE(model().errorMessage());
}

TEST_F(PreviewTest, ChangingTheSelectionStartsAtTheFirstPage)
{
    model().add({pdf(QStringLiteral("a.pdf"), 3), pdf(QStringLiteral("b.pdf"), 3)});
    model().setCurrentPage(2);
    const QImage onPageThree = model().previewImage();

    model().setSelection(model().inputs().at(1).id);
    EXPECT_EQ(model().currentPage(), 0);
    EXPECT_NE(model().previewImage(), onPageThree);
}

// ---- Marks ---------------------------------------------------------------------

struct MarkSize {
    double width;
    double height;
    bool kept;
};

inline void PrintTo(const MarkSize& size, std::ostream* out) { *out << size.width << " x " << size.height; }

class MarkSizeTest : public ModelTest, public ::testing::WithParamInterface<MarkSize> {};

TEST_P(MarkSizeTest, ClicksAndTinyDragsAreDropped)
{
    model().add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.5, 0.5, GetParam().width, GetParam().height});
    EXPECT_EQ(model().selectedMarks().size(), GetParam().kept ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MarkSizeTest,
                         ::testing::Values(MarkSize{0.004, 0.2, false}, MarkSize{0.2, 0.004, false},
                                           MarkSize{0.005, 0.2, false}, MarkSize{0.006, 0.006, true},
                                           MarkSize{-0.006, -0.006, true}, MarkSize{-0.004, 0.3, false},
                                           MarkSize{NAN, 0.3, false}, MarkSize{0.3, INFINITY, true}));

TEST_F(PreviewTest, AMarkIsStoredOnTheCurrentPageClippedToThePage)
{
    model().add({pdf(QStringLiteral("a.pdf"), 2)});
    model().nextPage();

    model().addMark(Rect{0.8, 0.9, 0.5, 0.5});
    model().addMark(Rect{0.5, 0.5, -0.2, -0.1});

    const QList<RedactionRegion> marks = model().selectedMarks();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks.at(0).pageIndex(), 1);
    EXPECT_NEAR(marks.at(0).normalizedRect().maxX(), 1.0, 1e-12);
    EXPECT_NEAR(marks.at(0).normalizedRect().maxY(), 1.0, 1e-12);
    EXPECT_NEAR(marks.at(0).normalizedRect().x, 0.8, 1e-12);
    EXPECT_NEAR(marks.at(1).normalizedRect().x, 0.3, 1e-12);
    EXPECT_NEAR(marks.at(1).normalizedRect().y, 0.4, 1e-12);
    EXPECT_EQ(model().marks().value(model().inputs().front().id), marks);
}

TEST_F(PreviewTest, RemovingAMarkRemovesEveryEqualOne)
{
    model().add({pdf(QStringLiteral("a.pdf"), 2)});
    const Rect area{0.1, 0.1, 0.3, 0.3};
    model().addMark(area);
    model().addMark(area);
    model().addMark(Rect{0.5, 0.5, 0.1, 0.1});
    model().nextPage();
    model().addMark(area); // same rectangle, other page
    ASSERT_EQ(model().selectedMarks().size(), 4);

    model().removeMark(RedactionRegion(0, area));

    const QList<RedactionRegion> marks = model().selectedMarks();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks.at(0), RedactionRegion(0, Rect{0.5, 0.5, 0.1, 0.1}));
    EXPECT_EQ(marks.at(1), RedactionRegion(1, area));
}

TEST_F(PreviewTest, ClearingLeavesEmptyEntriesAndTheInputNotReady)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 1 PDF"));
    const QUuid id = model().inputs().front().id;

    model().clearSelectedMarks();

    EXPECT_TRUE(model().marks().contains(id));
    EXPECT_TRUE(model().marks().value(id).isEmpty());
    EXPECT_TRUE(model().searchTerms().contains(id));
    EXPECT_TRUE(model().readyInputs().isEmpty());
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 0 PDFs"));
    EXPECT_FALSE(model().canRedact());
}

TEST_F(PreviewTest, WithoutSelectionMarkingDoesNothing)
{
    Emissions marksChanged(model(), &AppModel::marksChanged);
    Emissions termsChanged(model(), &AppModel::searchTermsChanged);
    model().addMark(Rect{0.1, 0.1, 0.5, 0.5});
    model().removeMark(RedactionRegion(0, Rect{0.1, 0.1, 0.5, 0.5}));
    model().clearSelectedMarks();
    EXPECT_EQ(marksChanged.count(), 0);
    EXPECT_EQ(termsChanged.count(), 0);
    EXPECT_TRUE(model().marks().isEmpty());
}

TEST_F(PreviewTest, AddingAMarkClearsTheResultRemovingOneDoesNot)
{
    model().add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    model().setOutputFolder(subdir(QStringLiteral("out")));
    model().setRedactor([](const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::CancelCheck&, const InkveilEngine::PageProgress& progress) {
        return fakeRedact(source, destination, plan, progress);
    });
    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    ASSERT_TRUE(model().resultMessage());

    model().removeMark(RedactionRegion(0, Rect{0.1, 0.1, 0.3, 0.3}));
    EXPECT_TRUE(model().resultMessage());

    model().addMark(Rect{0.2, 0.2, 0.3, 0.3});
    EXPECT_FALSE(model().resultMessage());
    EXPECT_EQ(model().outputs().size(), 1); // outputs stay until the next add or run
}
