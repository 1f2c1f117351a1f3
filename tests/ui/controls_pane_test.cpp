// The controls pane: finding text, the list of marks, and the bottom bar
// through a run.

#include "tests/ui/window_fixture.h"

#include "ui/clamped_label.h"
#include "ui/controls_pane.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

namespace inkveil::test {
namespace {

class ControlsPaneTest : public WindowTest {
protected:
    QList<QWidget*> rows()
    {
        QCoreApplication::processEvents(); // new rows show once the event loop runs
        QList<QWidget*> shown;
        for (QWidget* row : controls().markRows()->findChildren<QWidget*>(QStringLiteral("markRow"))) {
            if (!row->isHidden())
                shown.append(row);
        }
        return shown;
    }

    QStringList rowTexts()
    {
        QStringList texts;
        for (QWidget* row : rows())
            texts.append(row->findChild<QPushButton*>(QStringLiteral("pageLink"))->text() + QStringLiteral(" / ")
                         + row->findChild<QLabel*>(QStringLiteral("markName"))->text());
        return texts;
    }
};

TEST_F(ControlsPaneTest, MarkAllNeedsADocumentAndAPhraseAndMarksItsOccurrences)
{
    QLineEdit* field = controls().searchField();
    QTest::keyClicks(field, QStringLiteral("Jane"));
    EXPECT_FALSE(controls().markAllButton()->isEnabled()) << "no document selected";
    add({pdf(QStringLiteral("a.pdf"), 2, "Jane Doe signed")});
    field->clear();
    QTest::keyClicks(field, QStringLiteral(" \t "));
    EXPECT_FALSE(controls().markAllButton()->isEnabled()) << "only blanks";

    field->clear();
    QTest::keyClicks(field, QStringLiteral("Nobody"));
    controls().markAllButton()->click();
    EXPECT_TRUE(model().errorMessage());
    EXPECT_EQ(field->text(), QStringLiteral("Nobody")) << "a phrase not found stays to be corrected";
    model().setErrorMessage(std::nullopt);

    field->clear();
    QTest::keyClicks(field, QStringLiteral("  Jane Doe "));
    EXPECT_EQ(model().searchText(), QStringLiteral("  Jane Doe "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(model().selectedMarks().size(), 2);
    EXPECT_TRUE(field->text().isEmpty()) << "the field follows the model, which clears it";
    EXPECT_EQ(preview().statusMessage()->text(), *model().resultMessage());
}

TEST_F(ControlsPaneTest, MarksAreListedByPositionWithTheirPage)
{
    add({pdf(QStringLiteral("a.pdf"), 5)});
    model().setCurrentPage(4);
    for (double x : {0.1, 0.4, 0.7})
        model().addMark(Rect{x, 0.1, 0.2, 0.2});
    EXPECT_EQ(controls().markCount()->text(), QStringLiteral("3"));
    EXPECT_FALSE(controls().nothingMarked()->isVisibleTo(&controls()));
    EXPECT_EQ(rowTexts(), (QStringList{QStringLiteral("Page 5 / Redaction 1"), QStringLiteral("Page 5 / Redaction 2"),
                                       QStringLiteral("Page 5 / Redaction 3")}));

    rows().front()->findChild<QToolButton*>(QStringLiteral("removeMark"))->click();
    EXPECT_EQ(rowTexts(), (QStringList{QStringLiteral("Page 5 / Redaction 1"), QStringLiteral("Page 5 / Redaction 2")}));
    EXPECT_EQ(model().selectedMarks().front().normalizedRect().x, 0.4);

    model().setCurrentPage(0);
    rows().front()->findChild<QPushButton*>(QStringLiteral("pageLink"))->click();
    EXPECT_EQ(model().currentPage(), 4);

    controls().clearButton()->click();
    EXPECT_TRUE(rowTexts().isEmpty());
    EXPECT_TRUE(controls().nothingMarked()->isVisibleTo(&controls()));
}

TEST_F(ControlsPaneTest, TheRedactButtonWaitsForMarksThenARunShowsProgressUntilCancelled)
{
    QPushButton* redact = controls().redactButton();
    EXPECT_FALSE(redact->isEnabled());
    add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    EXPECT_EQ(redact->text(), QStringLiteral("Redact 1 PDF"));
    EXPECT_TRUE(redact->isEnabled());

    const QString out = folder(QStringLiteral("out"));
    dialogs.folderAnswer = out;
    HeldRedactor held;
    model().setRedactor(held.redactor());
    redact->click();
    ASSERT_TRUE(model().isRedacting());
    EXPECT_FALSE(redact->isVisibleTo(&controls()));
    EXPECT_TRUE(controls().cancelButton()->isVisibleTo(&controls()));
    EXPECT_EQ(controls().progressBar()->value(), 50);

    controls().cancelButton()->click();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(redact->isVisibleTo(&controls()));
    EXPECT_FALSE(controls().progressBar()->isVisibleTo(&controls()));
    EXPECT_EQ(preview().statusMessage()->text(), QStringLiteral("Redaction cancelled. No output was saved."));
    EXPECT_FALSE(preview().showInFolderButton()->isVisibleTo(&preview()));
    EXPECT_TRUE(QDir(out).isEmpty());
}

TEST_F(ControlsPaneTest, AFinishedRunReportsTheVerifiedOutputsAndShowsThemInTheirFolder)
{
    add({pdf(QStringLiteral("contract.pdf"))});
    model().addMark(Rect{0.1, 0.8, 0.4, 0.1});
    dialogs.folderAnswer = folder(QStringLiteral("out"));
    controls().redactButton()->click();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(preview().statusMessage()->text(), QStringLiteral("Verified 1 PDF with 1 permanent redaction."));
    EXPECT_EQ(preview().statusIcon()->property("symbol").toString(), QStringLiteral("checkmark.shield.fill"));
    ASSERT_TRUE(preview().showInFolderButton()->isVisibleTo(&preview()));
    preview().showInFolderButton()->click();
    ASSERT_EQ(dialogs.revealed.size(), 1);
    EXPECT_EQ(dialogs.revealed.front(), model().outputs());
    EXPECT_TRUE(QFileInfo(model().outputs().front()).isFile());
}

} // namespace
} // namespace inkveil::test
