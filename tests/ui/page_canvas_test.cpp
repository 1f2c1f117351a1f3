// Marking on the page: the image frame, the drag gesture and its geometry, the
// boxes drawn for marks, removing a mark, paging keys, zoom and sharpness.

#include "tests/ui/window_fixture.h"

#include "ui/canvas_geometry.h"
#include "ui/page_canvas.h"
#include "ui/preview_pane.h"

#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace inkveil::test {
namespace {

using namespace CanvasGeometry;

void expectNear(const Rect& actual, const Rect& expected, double tolerance = 1e-9)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.width, expected.width, tolerance);
    EXPECT_NEAR(actual.height, expected.height, tolerance);
}

// ---- Geometry ----------------------------------------------------------------

TEST(CanvasGeometry, FitsTheImageCentredKeepingItsShape)
{
    EXPECT_EQ(imageFrame({1000, 1000}, {600, 800}), QRectF(125, 0, 750, 1000));
    EXPECT_EQ(imageFrame({1000, 500}, {1200, 300}), QRectF(0, 125, 1000, 250));
    EXPECT_EQ(imageFrame({1000, 1000}, {0, 800}), QRectF());
    // Zoomed in, the frame outgrows the canvas it is centred in.
    EXPECT_EQ(zoomedFrame({1500, 2000}, {1000, 1000}, {600, 800}, 2.0), QRectF(0, 0, 1500, 2000));
}

TEST(CanvasGeometry, MarksAndDragsMeetInNormalizedSpace)
{
    const QRectF frame(125, 0, 750, 1000);
    // The upper half's left half: normalized y grows upward.
    expectNear(normalizedRect(QRectF(125, 0, 375, 500), frame), Rect{0, 0.5, 0.5, 0.5});
    EXPECT_EQ(markBox(Rect{0, 0.5, 0.5, 0.5}, frame), QRectF(125, 0, 375, 500));
    // Both ways round give the same rectangle.
    EXPECT_EQ(activeDrag(QPointF(500, 500), QPointF(125, 0), frame), activeDrag(QPointF(125, 0), QPointF(500, 500), frame));
    // Points beyond the frame are pulled onto its edge.
    EXPECT_EQ(activeDrag(QPointF(800, 900), QPointF(1200, 1100), frame), QRectF(800, 900, 75, 100));
    EXPECT_FALSE(activeDrag(std::nullopt, QPointF(1, 1), frame));
    EXPECT_TRUE(frameContains(frame, {125, 0}));
    EXPECT_FALSE(frameContains(frame, {875, 500}));
}

// ---- The drag gesture ------------------------------------------------------

// A canvas of 1000 × 1000 showing a 600 × 800 image: the frame is (125, 0, 750, 1000).
class DragTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        canvas.resize(1000, 1000);
        QImage image(600, 800, QImage::Format_RGB888);
        image.fill(Qt::white);
        canvas.setImage(image);
    }

    PageCanvas canvas;
    QSignalSpy added{&canvas, &PageCanvas::markAdded};

    std::optional<Rect> addedMark() const
    {
        if (added.isEmpty())
            return std::nullopt;
        return added.back().front().value<Rect>();
    }
};

struct DragCase {
    const char* name;
    QPointF from;
    QList<QPointF> path;
    std::optional<Rect> mark;
};

class DragCases : public DragTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragCases, ReleaseAddsTheDraggedRectangleOrNothing)
{
    const DragCase& c = GetParam();
    drag(&canvas, c.from, c.path);
    ASSERT_EQ(added.size(), c.mark ? 1 : 0);
    if (c.mark)
        expectNear(*addedMark(), *c.mark);
    EXPECT_FALSE(canvas.activeDragRect()) << "the canvas is idle after a release";
}

INSTANTIATE_TEST_SUITE_P(
    Frame, DragCases,
    ::testing::Values(
        DragCase{"UpperLeftQuarter", {125, 0}, {{300, 200}, {500, 500}}, Rect{0, 0.5, 0.5, 0.5}},
        DragCase{"BackwardsIsTheSame", {500, 500}, {{300, 200}, {125, 0}}, Rect{0, 0.5, 0.5, 0.5}},
        DragCase{"ClampedAtTheEdge", {800, 900}, {{1000, 1000}, {1200, 1100}}, Rect{0.9, 0, 0.1, 0.1}},
        DragCase{"StartedBesideThePage", {50, 50}, {{300, 300}, {500, 500}}, std::nullopt},
        DragCase{"TooNarrow", {300, 300}, {{303.5, 340}}, std::nullopt},
        DragCase{"SmallestMark", {300, 300}, {{304, 304}}, Rect{175.0 / 750, 1 - 304.0 / 1000, 4.0 / 750, 4.0 / 1000}},
        DragCase{"AClick", {300, 300}, {}, std::nullopt},
        DragCase{"UnderTheThreshold", {300, 300}, {{302, 302}}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DragTest, NothingIsDrawnBeforeThePointerHasMovedThreePoints)
{
    pressAndMove(&canvas, {300, 300}, {{302.9, 300}});
    EXPECT_FALSE(canvas.activeDragRect());
    pressAndMove(&canvas, {300, 300}, {{303, 300}});
    EXPECT_EQ(canvas.activeDragRect(), QRectF(300, 300, 3, 0));
    release(&canvas, {303, 300});
}

TEST_F(DragTest, ADragFromBesideThePageDrawsNothingWhileItCrossesThePage)
{
    pressAndMove(&canvas, {50, 50}, {{400, 400}, {600, 600}});
    EXPECT_FALSE(canvas.activeDragRect());
    release(&canvas, {600, 600});
}

TEST_F(DragTest, EscapeCancelsTheDragUntilTheButtonIsReleased)
{
    pressAndMove(&canvas, {200, 200}, {{400, 400}});
    ASSERT_TRUE(canvas.activeDragRect());
    QTest::keyClick(&canvas, Qt::Key_Escape);
    EXPECT_FALSE(canvas.activeDragRect());
    moveHeld(&canvas, {500, 500});
    EXPECT_FALSE(canvas.activeDragRect());
    release(&canvas, {500, 500});
    EXPECT_TRUE(added.isEmpty());

    drag(&canvas, {200, 200}, {{400, 400}}); // the next press starts afresh
    EXPECT_EQ(added.size(), 1);
}

TEST_F(DragTest, ADragInProgressIsShownAsTheRectangleBetweenItsPoints)
{
    pressAndMove(&canvas, {500, 600}, {{450, 650}, {300, 400}});
    EXPECT_EQ(canvas.activeDragRect(), QRectF(300, 400, 200, 200));
    release(&canvas, {300, 400});
}

// ---- In the window ---------------------------------------------------------

class CanvasInWindowTest : public WindowTest {
protected:
    void open(int pages = 1)
    {
        add({pdf(QStringLiteral("doc.pdf"), pages)});
        settle();
    }

    QList<RedactionRegion> marks() { return model().selectedMarks(); }

    // Until the canvas has the room its zoom asks for.
    void waitForLayout()
    {
        EXPECT_TRUE(QTest::qWaitFor([this] {
            const QSize wanted = canvas().minimumSizeHint();
            return canvas().width() >= wanted.width() && canvas().height() >= wanted.height();
        }));
        QCoreApplication::processEvents();
    }
};

TEST_F(CanvasInWindowTest, TheHeaderNamesTheDocumentAndItsPageWithButtonsThatStopAtTheEnds)
{
    EXPECT_EQ(preview().title()->text(), QStringLiteral("Preview"));
    EXPECT_FALSE(preview().pageLabel()->isVisible());
    EXPECT_FALSE(preview().showsPage());

    add({pdf(QStringLiteral("one.pdf"), 1), pdf(QStringLiteral("seven.pdf"), 7)});
    EXPECT_EQ(preview().title()->text(), QStringLiteral("one.pdf"));
    EXPECT_FALSE(preview().previousButton()->isVisible()) << "one page: no page controls";
    EXPECT_TRUE(preview().showsPage());

    model().setSelection(model().inputs().at(1).id);
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 1 of 7"));
    EXPECT_FALSE(preview().previousButton()->isEnabled());
    EXPECT_TRUE(preview().nextButton()->isEnabled());
    for (int i = 0; i < 6; ++i)
        preview().nextButton()->click();
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 7 of 7"));
    EXPECT_FALSE(preview().nextButton()->isEnabled());
    preview().previousButton()->click();
    EXPECT_EQ(model().currentPage(), 5);
}

TEST_F(CanvasInWindowTest, ADraggedRectangleBecomesTheModelsMarkAndIsDrawnWhereItWasDragged)
{
    open();
    const QRectF frame = canvas().imageFrame();
    ASSERT_FALSE(frame.isEmpty());
    const QPointF from = frame.topLeft() + QPointF(frame.width() * 0.2, frame.height() * 0.1);
    const QPointF to = frame.topLeft() + QPointF(frame.width() * 0.6, frame.height() * 0.3);
    drag(&canvas(), from, {to});

    ASSERT_EQ(marks().size(), 1);
    EXPECT_EQ(marks().front().pageIndex(), 0);
    expectNear(marks().front().normalizedRect(), Rect{0.2, 0.7, 0.4, 0.2}, 1e-9);
    settle();
    ASSERT_EQ(canvas().marks().size(), 1);
    const QRectF box = markBox(canvas().marks().front().normalizedRect(), canvas().imageFrame());
    EXPECT_NEAR(box.left(), from.x(), 1e-6);
    EXPECT_NEAR(box.top(), from.y(), 1e-6);
    EXPECT_NEAR(box.right(), to.x(), 1e-6);
    EXPECT_NEAR(box.bottom(), to.y(), 1e-6);
}

TEST_F(CanvasInWindowTest, DraggingWorksAndMarksStayAlignedAtEveryZoom)
{
    open();
    for (double zoom : {1.25, 2.0, 4.0, 0.5}) {
        SCOPED_TRACE(zoom);
        while (preview().zoom() < zoom - 1e-9)
            preview().zoomIn();
        while (preview().zoom() > zoom + 1e-9)
            preview().zoomOut();
        ASSERT_DOUBLE_EQ(preview().zoom(), zoom);
        waitForLayout();
        const QRectF frame = canvas().imageFrame();
        model().clearSelectedMarks();
        drag(&canvas(), frame.topLeft() + QPointF(frame.width() * 0.25, frame.height() * 0.5),
             {frame.topLeft() + QPointF(frame.width() * 0.75, frame.height() * 0.75)});
        ASSERT_EQ(marks().size(), 1);
        expectNear(marks().front().normalizedRect(), Rect{0.25, 0.25, 0.5, 0.25}, 1e-9);
    }
    preview().zoomToFit();
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.0);
}

TEST_F(CanvasInWindowTest, ZoomedInThePageOutgrowsTheVisibleAreaAndScrolls)
{
    open();
    const QSizeF fitted = canvas().imageFrame().size();
    preview().zoomIn();
    preview().zoomIn();
    waitForLayout();
    EXPECT_NEAR(canvas().imageFrame().width(), fitted.width() * 1.5, 1.0);
    EXPECT_GT(canvas().height(), preview().scrollArea()->viewport()->height());
}

TEST_F(CanvasInWindowTest, RemoveRedactionFromAMarksMenuRemovesThatMarkOnly)
{
    open();
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().addMark(Rect{0.6, 0.6, 0.2, 0.2});
    settle();
    const QRectF box = markBox(Rect{0.6, 0.6, 0.2, 0.2}, canvas().imageFrame());

    chooseNextMenuItem(QStringLiteral("Remove Redaction"));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, box.center().toPoint(), canvas().mapToGlobal(box.center().toPoint()));
    QApplication::sendEvent(&canvas(), &menu);

    ASSERT_EQ(marks().size(), 1);
    EXPECT_EQ(marks().front(), RedactionRegion(0, Rect{0.1, 0.1, 0.2, 0.2}));
}

TEST_F(CanvasInWindowTest, OnlyTheShownPagesMarksAreDrawn)
{
    open(3);
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().nextPage();
    model().addMark(Rect{0.5, 0.5, 0.2, 0.2});
    settle();
    ASSERT_EQ(canvas().marks().size(), 1);
    EXPECT_EQ(canvas().marks().front().pageIndex(), 1);
    model().previousPage();
    settle();
    ASSERT_EQ(canvas().marks().size(), 1);
    EXPECT_EQ(canvas().marks().front().pageIndex(), 0);
}

TEST_F(CanvasInWindowTest, PageKeysAndArrowsPageThroughTheDocument)
{
    open(3);
    canvas().setFocus();
    const std::pair<Qt::Key, int> steps[] = {{Qt::Key_PageDown, 1}, {Qt::Key_Right, 2}, {Qt::Key_Down, 2},
                                             {Qt::Key_PageUp, 1},   {Qt::Key_Left, 0},  {Qt::Key_Up, 0}};
    for (const auto& [key, page] : steps) {
        QTest::keyClick(&canvas(), key);
        EXPECT_EQ(model().currentPage(), page) << QKeySequence(key).toString().toStdString();
    }
}

TEST_F(CanvasInWindowTest, ADenseScreenOrZoomGetsASharperRenderingOfThePage)
{
    open();
    for (int step = 0; step < 5; ++step)
        preview().zoomIn(); // to 4×
    const int wanted = static_cast<int>(std::ceil(std::max(canvas().imageFrame().width(), canvas().imageFrame().height())));
    ASSERT_GT(wanted, 1200) << "the window is too small for this check";
    ASSERT_TRUE(QTest::qWaitFor([this] { return canvas().shownImage().height() > 1200; }, 5000));
    EXPECT_GE(canvas().shownImage().height(), std::min(wanted, PageCanvas::kMaxSharpSide) - 2);
    EXPECT_EQ(model().previewImage().height(), 1200) << "the model's image stays as it was";
}

} // namespace
} // namespace inkveil::test
