#include "app/mark_history.h"
#include "tests/app/model_fixture.h"

#include <QCoreApplication>

#include <functional>

namespace inkveil::test {
namespace {

const Rect kLeft{0.1, 0.1, 0.2, 0.2};
const Rect kRight{0.6, 0.6, 0.2, 0.2};

class MarkHistoryTest : public ModelTest {
protected:
    // Ends the current user action, as the window's event loop does between two.
    static void settle() { QCoreApplication::processEvents(); }

    QList<RedactionRegion> marks() { return model().selectedMarks(); }
    QStringList terms() { return model().searchTerms().value(*model().selection()); }
    QStringList expressions() { return model().expressions().value(*model().selection()); }

    QString open(int pages = 1, const std::string& text = "Page")
    {
        const QString file = pdf(QStringLiteral("doc%1.pdf").arg(++m_documents), pages, text);
        model().add({file});
        return file;
    }

private:
    int m_documents = 0;
};

// Every kind of change is one step: undo brings back the state before it, redo
// the state after it.
TEST_F(MarkHistoryTest, EachKindOfChangeIsOneStepBackAndForth)
{
    const std::function<void(AppModel&)> actions[] = {
        [](AppModel& m) { m.addMark(kRight); },
        [](AppModel& m) { m.removeMark(m.selectedMarks().front()); },
        [](AppModel& m) { m.clearSelectedMarks(); },
        [](AppModel& m) {
            m.setSearchText(QStringLiteral("Jane Doe"));
            m.addSearchMatches();
        },
        [](AppModel& m) { m.addPatternMatches({}, QStringLiteral("Jane")); },
        [](AppModel& m) { m.redactWholePage(); },
        [](AppModel& m) { m.repeatMark(m.selectedMarks().front(), 0, 2); }};
    for (const auto& action : actions) {
        SCOPED_TRACE(&action - actions);
        model().removeAll();
        open(3, "Jane Doe signed");
        MarkHistory history(model());
        model().addMark(kLeft);
        settle();
        const QList<RedactionRegion> before = marks();
        const QStringList termsBefore = terms();
        const QStringList expressionsBefore = expressions();

        action(model());
        ASSERT_TRUE(waitForSearch());
        settle();
        const QList<RedactionRegion> after = marks();
        const QStringList termsAfter = terms();
        const QStringList expressionsAfter = expressions();
        ASSERT_TRUE(after != before || termsAfter != termsBefore);

        ASSERT_TRUE(history.canUndo());
        history.undo();
        EXPECT_EQ(marks(), before);
        EXPECT_EQ(terms(), termsBefore);
        EXPECT_EQ(expressions(), expressionsBefore);
        history.redo();
        EXPECT_EQ(marks(), after);
        EXPECT_EQ(terms(), termsAfter);
        EXPECT_EQ(expressions(), expressionsAfter);
        EXPECT_FALSE(history.canRedo());
    }
}

TEST_F(MarkHistoryTest, StepsGoBackInOrderToThePageOfTheChangeAndANewChangeDropsTheRedoneOnes)
{
    open(3);
    MarkHistory history(model());
    model().addMark(kLeft);
    settle();
    model().setCurrentPage(2);
    model().addMark(kRight);
    settle();
    model().setCurrentPage(0);

    history.undo();
    EXPECT_EQ(model().currentPage(), 2);
    EXPECT_EQ(model().selectedMarks(), QList<RedactionRegion>{RedactionRegion(0, kLeft)});
    history.undo();
    EXPECT_TRUE(marks().isEmpty());
    EXPECT_FALSE(history.canUndo());

    history.redo();
    model().addMark(kRight);
    settle();
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(marks(), (QList<RedactionRegion>{RedactionRegion(0, kLeft), RedactionRegion(0, kRight)}));
}

TEST_F(MarkHistoryTest, EachDocumentHasItsOwnStepsAndRemovingDocumentsIsUndone)
{
    const QString firstFile = open();
    const QUuid first = *model().selection();
    open();
    const QUuid second = model().inputs().at(1).id;
    MarkHistory history(model());

    model().addMark(kLeft);
    settle();
    model().setSelection(second);
    EXPECT_FALSE(history.canUndo());
    model().addMark(kRight);
    settle();

    model().setSelection(first);
    history.undo();
    EXPECT_TRUE(model().marks().value(first).isEmpty());
    EXPECT_EQ(model().marks().value(second).size(), 1);

    // Removing a document is a step too; it comes back with its own steps.
    model().removeSelected();
    settle();
    ASSERT_EQ(model().inputs().size(), 1);
    history.undo();
    ASSERT_EQ(model().inputs().size(), 2);
    EXPECT_EQ(model().inputs().front().id, first);
    EXPECT_EQ(model().selection(), first);
    history.redo();
    EXPECT_EQ(model().inputs().size(), 1);
    history.undo();
    EXPECT_TRUE(model().marks().value(first).isEmpty());

    model().removeAll();
    settle();
    history.undo();
    ASSERT_EQ(model().inputs().size(), 2);
    EXPECT_EQ(model().marks().value(second).size(), 1);
    history.redo(); // the whole list goes again
    EXPECT_TRUE(model().inputs().isEmpty());
    history.undo();

    // One put back whose file was added again meanwhile is not doubled.
    model().removeSelected();
    settle();
    model().add({firstFile});
    history.undo();
    EXPECT_EQ(model().inputs().size(), 2);
}

} // namespace
} // namespace inkveil::test
