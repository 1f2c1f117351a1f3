#include "tests/app/model_fixture.h"

#include <QColor>
#include <QPointF>

#include <cmath>

using namespace inkveil;
using namespace inkveil::test;

namespace {

// A page whose media box has its lower-left quarter painted black.
PageSpec quarterPage(int x0, int y0, int width, int height, int rotate = 0)
{
    PageSpec page;
    page.box[0] = x0;
    page.box[1] = y0;
    page.box[2] = x0 + width;
    page.box[3] = y0 + height;
    page.rotate = rotate;
    page.extraContent = "0 0 0 rg " + std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(width / 2)
        + " " + std::to_string(height / 2) + " re f";
    return page;
}

bool dark(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y)).lightness() < 64;
}

} // namespace

class PreviewTest : public ModelTest {};

// The image shows the media box as viewers do, turned by /Rotate; the dark
// quarter is the box's lower-left one.
TEST_F(PreviewTest, TheMediaBoxFillsTheImageTurnedAsViewersShowIt)
{
    struct Case {
        PageSpec page;
        QSize size;
        QPointF dark;  // fractions of the image, y down
        QPointF light;
    };
    const Case cases[] = {{quarterPage(0, 0, 800, 400), {1200, 600}, {0.1, 0.9}, {0.9, 0.1}},
                          {quarterPage(100, 100, 612, 792), {927, 1200}, {0.1, 0.9}, {0.6, 0.6}},
                          {quarterPage(0, 0, 612, 792, 90), {1200, 927}, {0.1, 0.1}, {0.9, 0.9}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page.rotate);
        model().removeAll();
        model().add({PdfBuilder().page(c.page).write(path(QStringLiteral("page%1.pdf").arg(c.page.box[0] + c.page.rotate)))});
        ASSERT_TRUE(waitForPreview());
        const QImage image = model().previewImage();
        ASSERT_EQ(image.size(), c.size);
        EXPECT_EQ(model().previewRotation(), c.page.rotate);
        const auto at = [&](QPointF f) { return dark(image, static_cast<int>(f.x() * image.width()), static_cast<int>(f.y() * image.height())); };
        EXPECT_TRUE(at(c.dark));
        EXPECT_FALSE(at(c.light));
    }
}

// Pages are drawn in the background: asking returns at once with the old
// image still shown, and of several quick requests only the latest is shown.
TEST_F(PreviewTest, DrawingHappensInTheBackgroundAndTheLatestRequestWins)
{
    PdfBuilder builder;
    for (int width : {400, 600, 800})
        builder.page(quarterPage(0, 0, width, 400));
    model().add({builder.write(path(QStringLiteral("sizes.pdf")))});
    EXPECT_TRUE(model().previewImage().isNull());
    EXPECT_TRUE(model().isRendering());
    ASSERT_TRUE(waitForPreview());
    const QImage first = model().previewImage();
    ASSERT_EQ(first.size(), QSize(1200, 1200));

    QList<QSize> shown;
    QObject::connect(&model(), &AppModel::previewImageChanged, &model(),
                     [&] { shown.append(model().previewImage().size()); });
    model().setCurrentPage(1);
    EXPECT_EQ(model().previewImage().cacheKey(), first.cacheKey());
    model().setCurrentPage(2);
    ASSERT_TRUE(waitForPreview());
    ASSERT_FALSE(shown.isEmpty());
    for (const QSize& size : shown)
        EXPECT_DOUBLE_EQ(static_cast<double>(size.width()) / size.height(), 2.0); // page 3 only, coarse then sharp
    EXPECT_EQ(shown.back(), QSize(1200, 600));
}

TEST_F(PreviewTest, ThePreviewShowsAnnotationsAsTheDesktopDoes)
{
    PdfBuilder builder;
    const std::string fill = "0 0 0 rg 0 0 306 396 re f";
    const int appearance = builder.object("<< /Type /XObject /Subtype /Form /BBox [0 0 306 396] /Length "
                                          + std::to_string(fill.size()) + " >>\nstream\n" + fill + "\nendstream");
    PageSpec page;
    page.annots = {"<< /Type /Annot /Subtype /Square /Rect [306 396 612 792] /AP << /N " + std::to_string(appearance)
                   + " 0 R >> >>"};
    model().add({builder.page(page).write(path(QStringLiteral("annotated.pdf")))});
    ASSERT_TRUE(waitForPreview());
    const QImage image = model().previewImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(dark(image, image.width() - 20, 20));
    EXPECT_FALSE(dark(image, 20, image.height() - 20));
}

TEST_F(PreviewTest, PagesStayInRangeEvenWhenTheFileShrinksOnDisk)
{
    model().add({pdf(QStringLiteral("doc.pdf"), 5)});
    model().setCurrentPage(-3);
    EXPECT_EQ(model().currentPage(), 0);
    model().setCurrentPage(99);
    EXPECT_EQ(model().currentPage(), 4);

    pdf(QStringLiteral("doc.pdf"), 2);
    model().refreshPreview();
    ASSERT_TRUE(waitForPreview());
    EXPECT_EQ(model().currentPage(), 1);
    EXPECT_EQ(model().selectedPageCount(), 2);
    EXPECT_FALSE(model().previewImage().isNull());
}

TEST_F(PreviewTest, MarksAreClippedKeptInOrderAndRemovedByValue)
{
    model().addMark(Rect{0.1, 0.1, 0.5, 0.5}); // no selection: dropped
    model().add({pdf(QStringLiteral("a.pdf"), 2)});
    // Clicks and tiny drags are dropped; a drag made right to left counts.
    for (const Rect& tiny : {Rect{0.5, 0.5, 0.005, 0.2}, Rect{0.5, 0.5, 0.2, 0.004}, Rect{0.5, 0.5, NAN, 0.3}})
        model().addMark(tiny);
    EXPECT_TRUE(model().selectedMarks().isEmpty());
    model().addMark(Rect{0.5, 0.5, 0.006, 0.006});
    model().addMark(Rect{0.5, 0.5, -0.006, -0.006});
    ASSERT_EQ(model().selectedMarks().size(), 2);
    model().clearSelectedMarks();

    const Rect area{0.1, 0.1, 0.3, 0.3};
    model().addMark(area);
    model().addMark(Rect{0.8, 0.9, 0.5, 0.5});
    model().addMark(area);
    model().nextPage();
    model().addMark(area);

    QList<RedactionRegion> marks = model().selectedMarks();
    ASSERT_EQ(marks.size(), 4);
    EXPECT_NEAR(marks.at(1).normalizedRect().width, 0.2, 1e-12);
    EXPECT_NEAR(marks.at(1).normalizedRect().maxY(), 1.0, 1e-12);
    EXPECT_EQ(marks.at(3).pageIndex(), 1);

    model().removeMark(RedactionRegion(0, area));
    marks = model().selectedMarks();
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(marks.at(1), RedactionRegion(1, area));

    model().clearSelectedMarks();
    EXPECT_TRUE(model().readyInputs().isEmpty());
}
