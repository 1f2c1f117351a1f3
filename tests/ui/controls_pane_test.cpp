// The controls pane: finding text, the list of marks, the output settings and
// the bottom bar through a run.

#include "tests/ui/window_fixture.h"

#include "ui/clamped_label.h"
#include "ui/content_view.h"
#include "ui/controls_pane.h"
#include "ui/preview_pane.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace inkveil::test {
namespace {

class ControlsPaneTest : public WindowTest {
protected:
    QStringList rowTexts()
    {
        QCoreApplication::processEvents(); // new rows show once the event loop runs
        QStringList rows;
        for (QWidget* row : controls().markRows()->findChildren<QWidget*>(QStringLiteral("markRow"))) {
            if (row->isHidden())
                continue;
            rows.append(row->findChild<QPushButton*>(QStringLiteral("pageLink"))->text() + QStringLiteral(" / ")
                        + row->findChild<QLabel*>(QStringLiteral("markName"))->text());
        }
        return rows;
    }

    QToolButton* removeButton(int row)
    {
        QCoreApplication::processEvents();
        QList<QWidget*> rows;
        for (QWidget* w : controls().markRows()->findChildren<QWidget*>(QStringLiteral("markRow"))) {
            if (!w->isHidden())
                rows.append(w);
        }
        return rows.at(row)->findChild<QToolButton*>(QStringLiteral("removeMark"));
    }
};

TEST_F(ControlsPaneTest, TypingAPhraseAndPressingReturnMarksItsOccurrences)
{
    add({pdf(QStringLiteral("a.pdf"), 2, "Jane Doe signed")});
    QLineEdit* field = controls().searchField();
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Name, number or phrase"));
    EXPECT_FALSE(controls().markAllButton()->isEnabled());

    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("  Jane Doe "));
    EXPECT_EQ(model().searchText(), QStringLiteral("  Jane Doe "));
    EXPECT_TRUE(controls().markAllButton()->isEnabled());
    QTest::keyClick(field, Qt::Key_Return);

    EXPECT_EQ(model().selectedMarks().size(), 2);
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 2 occurrences of \u201CJane Doe\u201D."));
    EXPECT_TRUE(field->text().isEmpty()) << "the field follows the model, which clears it";
    EXPECT_EQ(preview().statusMessage()->text(), *model().resultMessage());
}

TEST_F(ControlsPaneTest, MarkAllNeedsADocumentAndAPhraseButReturnAlwaysAsks)
{
    QLineEdit* field = controls().searchField();
    QTest::keyClicks(field, QStringLiteral("Jane"));
    EXPECT_FALSE(controls().markAllButton()->isEnabled()) << "no document selected";
    QTest::keyClick(field, Qt::Key_Return); // the model decides: nothing to search
    EXPECT_FALSE(model().errorMessage());

    add({pdf(QStringLiteral("a.pdf"))});
    field->clear();
    QTest::keyClicks(field, QStringLiteral(" \t "));
    EXPECT_FALSE(controls().markAllButton()->isEnabled()) << "only blanks";
    field->clear();
    QTest::keyClicks(field, QStringLiteral("Nobody"));
    controls().markAllButton()->click();
    EXPECT_EQ(model().errorMessage(),
              QStringLiteral("\u201CNobody\u201D was not found as selectable text. Scanned documents may need Mervo "
                             "Lumora first."));
    EXPECT_EQ(field->text(), QStringLiteral("Nobody"));
}

TEST_F(ControlsPaneTest, MarksAreListedByPositionWithTheirPage)
{
    add({pdf(QStringLiteral("a.pdf"), 5)});
    EXPECT_EQ(controls().markCount()->text(), QStringLiteral("0"));
    EXPECT_TRUE(controls().nothingMarked()->isVisibleTo(&controls()));
    EXPECT_FALSE(controls().clearButton()->isVisibleTo(&controls()));

    model().setCurrentPage(4);
    for (double x : {0.1, 0.4, 0.7})
        model().addMark(Rect{x, 0.1, 0.2, 0.2});
    EXPECT_EQ(controls().markCount()->text(), QStringLiteral("3"));
    EXPECT_FALSE(controls().nothingMarked()->isVisibleTo(&controls()));
    EXPECT_TRUE(controls().clearButton()->isVisibleTo(&controls()));
    EXPECT_EQ(rowTexts(), (QStringList{QStringLiteral("Page 5 / Redaction 1"), QStringLiteral("Page 5 / Redaction 2"),
                                       QStringLiteral("Page 5 / Redaction 3")}));

    EXPECT_EQ(removeButton(0)->toolTip(), QStringLiteral("Remove this redaction"));
    removeButton(0)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(rowTexts(), (QStringList{QStringLiteral("Page 5 / Redaction 1"), QStringLiteral("Page 5 / Redaction 2")}));
    EXPECT_EQ(model().selectedMarks().front().normalizedRect().x, 0.4);

    model().setCurrentPage(0);
    controls().markRows()->findChild<QPushButton*>(QStringLiteral("pageLink"))->click();
    EXPECT_EQ(model().currentPage(), 4);

    controls().clearButton()->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(rowTexts().isEmpty());
    EXPECT_TRUE(controls().nothingMarked()->isVisibleTo(&controls()));
}

TEST_F(ControlsPaneTest, ThePickerSetsAndShowsTheResolution)
{
    QComboBox* picker = controls().resolution();
    ASSERT_EQ(picker->count(), 3);
    EXPECT_EQ(picker->itemText(0), QStringLiteral("150 dpi \u00B7 smaller"));
    EXPECT_EQ(picker->itemText(1), QStringLiteral("200 dpi \u00B7 recommended"));
    EXPECT_EQ(picker->itemText(2), QStringLiteral("300 dpi \u00B7 print"));
    EXPECT_EQ(picker->currentIndex(), 1);

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down); // a key press chooses the next one, as a user's choice
    EXPECT_EQ(model().dpi(), 300.0);
    model().setDpi(150);
    EXPECT_EQ(picker->currentText(), QStringLiteral("150 dpi \u00B7 smaller"));
}

TEST_F(ControlsPaneTest, TheDestinationShowsTheChosenFolder)
{
    EXPECT_EQ(controls().destination()->text(), QStringLiteral("Choose a destination"));
    dialogs.folderAnswer = dir();
    controls().chooseDestinationButton()->click();
    EXPECT_EQ(dialogs.folderRequests, 1);
    EXPECT_EQ(controls().destination()->text(), dir());
}

TEST_F(ControlsPaneTest, TheRedactButtonWaitsForMarksThenARunShowsProgressUntilCancelled)
{
    QPushButton* redact = controls().redactButton();
    EXPECT_EQ(redact->text(), QStringLiteral("Redact 0 PDFs"));
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
    EXPECT_TRUE(controls().progressBar()->isVisibleTo(&controls()));
    EXPECT_TRUE(controls().cancelButton()->isVisibleTo(&controls()));
    EXPECT_EQ(controls().progressBar()->value(), 50);

    controls().cancelButton()->click();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(redact->isVisibleTo(&controls()));
    EXPECT_FALSE(controls().progressBar()->isVisibleTo(&controls()));
    EXPECT_EQ(preview().statusMessage()->text(), QStringLiteral("Redaction cancelled. No output was saved."));
    EXPECT_EQ(preview().statusIcon()->property("symbol").toString(), QStringLiteral("info.circle"));
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

    ASSERT_TRUE(preview().statusRow()->isVisibleTo(&preview()));
    EXPECT_EQ(preview().statusMessage()->text(), QStringLiteral("Verified 1 PDF with 1 permanent redaction."));
    EXPECT_EQ(preview().statusIcon()->property("symbol").toString(), QStringLiteral("checkmark.shield.fill"));
    QPushButton* show = preview().showInFolderButton();
    ASSERT_TRUE(show->isVisibleTo(&preview()));
    EXPECT_EQ(show->text(), QStringLiteral("Show in Folder"));
    show->click();
    ASSERT_EQ(dialogs.revealed.size(), 1);
    EXPECT_EQ(dialogs.revealed.front(), model().outputs());
    EXPECT_TRUE(QFileInfo(model().outputs().front()).isFile());
}

} // namespace
} // namespace inkveil::test
