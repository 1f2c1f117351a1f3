// Marking on the page: the image frame, the drag gesture and its geometry, the
// boxes drawn for marks at every zoom, removing a mark, and paging.

#include "tests/ui/window_fixture.h"

#include "ui/app_commands.h"
#include "ui/canvas_geometry.h"
#include "ui/page_canvas.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QToolButton>

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

// Where marks land in the frame is checked by dragging below; these are the
// shapes no drag reaches.
TEST(CanvasGeometry, FitsTheImageCentredKeepingItsShape)
{
    EXPECT_EQ(imageFrame({1000, 500}, {1200, 300}), QRectF(0, 125, 1000, 250));
    EXPECT_EQ(imageFrame({1000, 1000}, {0, 800}), QRectF());
    // Zoomed in, the frame outgrows the canvas it is centred in.
    EXPECT_EQ(zoomedFrame({1500, 2000}, {1000, 1000}, {600, 800}, 2.0), QRectF(0, 0, 1500, 2000));
}

// A mark near the page's lower-left corner, on a page turned clockwise, is
// shown where a viewer shows that corner; turning back gives it again.
TEST(CanvasGeometry, MarksTurnWithThePageAndBack)
{
    const Rect mark{0.1, 0.2, 0.3, 0.1};
    const std::pair<int, Rect> cases[] = {{0, mark},
                                          {90, Rect{0.2, 0.6, 0.1, 0.3}},   // top left
                                          {180, Rect{0.6, 0.7, 0.3, 0.1}},  // top right
                                          {270, Rect{0.7, 0.1, 0.1, 0.3}}}; // bottom right
    for (const auto& [rotation, shown] : cases) {
        const Rect turned = shownFromPage(mark, rotation);
        EXPECT_NEAR(turned.x, shown.x, 1e-12) << rotation;
        EXPECT_NEAR(turned.y, shown.y, 1e-12) << rotation;
        EXPECT_NEAR(turned.width, shown.width, 1e-12) << rotation;
        EXPECT_NEAR(turned.height, shown.height, 1e-12) << rotation;
        const Rect back = pageFromShown(turned, rotation);
        EXPECT_NEAR(back.x, mark.x, 1e-12);
        EXPECT_NEAR(back.y, mark.y, 1e-12);
    }
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
        expectNear(added.back().front().value<Rect>(), *c.mark);
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
        DragCase{"UnderTheThreshold", {300, 300}, {{302, 302}}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DragTest, EscapeCancelsTheDragUntilTheButtonIsReleased)
{
    pressAndMove(&canvas, {500, 600}, {{450, 650}, {300, 400}});
    EXPECT_EQ(canvas.activeDragRect(), QRectF(300, 400, 200, 200));
    QTest::keyClick(&canvas, Qt::Key_Escape);
    EXPECT_FALSE(canvas.activeDragRect());
    moveHeld(&canvas, {200, 200});
    EXPECT_FALSE(canvas.activeDragRect());
    release(&canvas, {200, 200});
    EXPECT_TRUE(added.isEmpty());

    drag(&canvas, {200, 200}, {{400, 400}}); // the next press starts afresh
    EXPECT_EQ(added.size(), 1);
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
};

TEST_F(CanvasInWindowTest, ThePageButtonsStopAtTheEnds)
{
    add({pdf(QStringLiteral("one.pdf"), 1), pdf(QStringLiteral("seven.pdf"), 7)});
    EXPECT_FALSE(preview().previousButton()->isVisible()) << "one page: no page controls";

    model().setSelection(model().inputs().at(1).id);
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 1 of 7"));
    EXPECT_FALSE(preview().previousButton()->isEnabled());
    for (int i = 0; i < 6; ++i)
        preview().nextButton()->click();
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 7 of 7"));
    EXPECT_FALSE(preview().nextButton()->isEnabled());
    preview().previousButton()->click();
    EXPECT_EQ(model().currentPage(), 5);

    // The page list follows, counts each page's marks, and turns to a page chosen in it.
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    QListWidget* list = preview().pageList();
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->currentRow(), 5);
    EXPECT_EQ(list->item(5)->text(), QStringLiteral("Page 6 \u00B7 1"));
    list->setCurrentRow(2);
    EXPECT_EQ(model().currentPage(), 2);
}

TEST_F(CanvasInWindowTest, AMarkLandsAndIsDrawnWhereItWasDraggedAtEveryZoom)
{
    open();
    for (double zoom : {1.0, 1.25, 2.0, 4.0, 0.5}) {
        SCOPED_TRACE(zoom);
        while (preview().zoom() < zoom - 1e-9)
            preview().zoomIn();
        while (preview().zoom() > zoom + 1e-9)
            preview().zoomOut();
        ASSERT_DOUBLE_EQ(preview().zoom(), zoom);
        // Until the canvas has the room its zoom asks for.
        ASSERT_TRUE(QTest::qWaitFor([this] {
            const QSize wanted = canvas().minimumSizeHint();
            return canvas().width() >= wanted.width() && canvas().height() >= wanted.height();
        }));
        settle();
        const QRectF frame = canvas().imageFrame();
        const QPointF from = frame.topLeft() + QPointF(frame.width() * 0.25, frame.height() * 0.5);
        const QPointF to = frame.topLeft() + QPointF(frame.width() * 0.75, frame.height() * 0.75);
        model().clearSelectedMarks();
        drag(&canvas(), from, {to});

        ASSERT_EQ(marks().size(), 1);
        EXPECT_EQ(marks().front().pageIndex(), 0);
        expectNear(marks().front().normalizedRect(), Rect{0.25, 0.25, 0.5, 0.25});
        settle();
        ASSERT_EQ(canvas().marks().size(), 1);
        const QRectF box = markBox(canvas().marks().front().normalizedRect(), canvas().imageFrame());
        EXPECT_NEAR(box.left(), from.x(), 1e-6);
        EXPECT_NEAR(box.top(), from.y(), 1e-6);
        EXPECT_NEAR(box.right(), to.x(), 1e-6);
        EXPECT_NEAR(box.bottom(), to.y(), 1e-6);
    }
    preview().zoomToFit();
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.0);
}

// Dragging a box moves it, dragging its edge resizes it; each is a step to undo.
TEST_F(CanvasInWindowTest, BoxesMoveAndResizeByDraggingAndUndoBringsThemBack)
{
    open();
    const Rect start{0.2, 0.2, 0.2, 0.2};
    model().addMark(start);
    settle();
    const QRectF frame = canvas().imageFrame();
    const QRectF box = markBox(start, frame);
    const QPointF right(frame.width() * 0.1, 0);
    const std::pair<QPointF, Rect> cases[] = {
        {box.center(), Rect{0.3, 0.2, 0.2, 0.2}},                                   // the whole box
        {QPointF(box.right() + frame.width() * 0.1, box.center().y()), Rect{0.3, 0.2, 0.3, 0.2}}, // its right edge
    };
    for (const auto& [from, expected] : cases) {
        drag(&canvas(), from, {from + right * 0.5, from + right});
        settle();
        ASSERT_EQ(marks().size(), 1);
        expectNear(marks().front().normalizedRect(), expected);
    }
    app().commands().undo()->trigger();
    app().commands().undo()->trigger();
    EXPECT_EQ(marks(), QList<RedactionRegion>{RedactionRegion(0, start)});
}

// Insert makes a box; the arrows move it, with Shift they size it; Delete removes it.
TEST_F(CanvasInWindowTest, TheKeyboardMakesMovesSizesAndRemovesABox)
{
    open();
    canvas().setFocus();
    const std::pair<QKeyCombination, Rect> steps[] = {
        {QKeyCombination(Qt::Key_Insert), Rect{0.4, 0.475, 0.2, 0.05}},
        {QKeyCombination(Qt::Key_Right), Rect{0.41, 0.475, 0.2, 0.05}},
        {QKeyCombination(Qt::Key_Up), Rect{0.41, 0.485, 0.2, 0.05}},
        {QKeyCombination(Qt::ShiftModifier, Qt::Key_Right), Rect{0.41, 0.485, 0.21, 0.05}},
        {QKeyCombination(Qt::ShiftModifier, Qt::Key_Down), Rect{0.41, 0.475, 0.21, 0.06}}, // the top stays
    };
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(&canvas(), key.key(), key.keyboardModifiers());
        settle();
        ASSERT_EQ(marks().size(), 1);
        expectNear(marks().front().normalizedRect(), expected);
        EXPECT_EQ(model().highlightedMark(), marks().front());
    }
    QTest::keyClick(&canvas(), Qt::Key_Delete);
    EXPECT_TRUE(marks().isEmpty());
}

TEST_F(CanvasInWindowTest, RemoveRedactionFromAMarksMenuRemovesThatMarkOnly)
{
    open();
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().addMark(Rect{0.6, 0.6, 0.2, 0.2});
    settle();
    const QPoint at = markBox(Rect{0.6, 0.6, 0.2, 0.2}, canvas().imageFrame()).center().toPoint();

    chooseNextMenuItem(QStringLiteral("Remove Redaction"));
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, canvas().mapToGlobal(at));
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
    for (int page : {1, 0}) {
        model().setCurrentPage(page);
        settle();
        ASSERT_EQ(canvas().marks().size(), 1);
        EXPECT_EQ(canvas().marks().front().pageIndex(), page);
    }
}

} // namespace
} // namespace inkveil::test
