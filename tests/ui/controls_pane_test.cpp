// The controls pane: finding text, the list of marks, and the bottom bar
// through a run.

#include "tests/ui/window_fixture.h"

#include "ui/clamped_label.h"
#include "ui/controls_pane.h"
#include "ui/elided_label.h"
#include "ui/page_canvas.h"

#include <QComboBox>
#include <QDir>
#include <QScrollArea>
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
        settle(); // rows are rebuilt, and new ones shown, once the event loop runs
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
                         + row->findChild<ElidedLabel*>(QStringLiteral("markName"))->fullText());
        return texts;
    }
    void search(const QString& phrase)
    {
        QLineEdit* field = controls().searchField();
        field->clear();
        QTest::keyClicks(field, phrase);
        QTest::keyClick(field, Qt::Key_Return);
        settle();
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

    search(QStringLiteral("Nobody"));
    EXPECT_EQ(model().errorTitle(), QStringLiteral("Phrase not found"));
    EXPECT_EQ(field->text(), QStringLiteral("Nobody")) << "a phrase not found stays to be corrected";
    model().setErrorMessage(std::nullopt);

    search(QStringLiteral("  Jane Doe "));
    EXPECT_EQ(model().selectedMarks().size(), 2);
    EXPECT_TRUE(field->text().isEmpty()) << "the field follows the model, which clears it";
    EXPECT_EQ(preview().statusMessage()->text(), *model().resultMessage());
    EXPECT_FALSE(preview().showInFolderButton()->isVisibleTo(&preview()));
}

// Every row says what it covers and leads to its box; the phrase is listed with
// its count, and removing one of its marks keeps it out of the run.
TEST_F(ControlsPaneTest, TheListShowsPhrasesAndWhatEachMarkCovers)
{
    add({pdf(QStringLiteral("a.pdf"), 5, "Jane Doe signed")});
    model().setCurrentPage(4);
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    search(QStringLiteral("jane doe"));
    EXPECT_EQ(controls().markCount()->text(), QStringLiteral("6"));
    QStringList expected;
    for (int page = 1; page <= 5; ++page)
        expected.append(QStringLiteral("Page %1 / \u201CJane Doe\u201D").arg(page));
    expected.insert(4, QStringLiteral("Page 5 / Area")); // below the line on its page
    EXPECT_EQ(rowTexts(), expected);
    const auto phraseText = [&] {
        settle();
        const auto labels = controls().phraseRows()->findChildren<ElidedLabel*>(QStringLiteral("phraseName"));
        return labels.isEmpty() ? QString() : labels.back()->fullText();
    };
    EXPECT_EQ(phraseText(), QStringLiteral("\u201Cjane doe\u201D \u00B7 5 marked"));

    rows().at(1)->findChild<QPushButton*>(QStringLiteral("pageLink"))->click();
    EXPECT_EQ(model().currentPage(), 1);
    EXPECT_EQ(model().highlightedMark(), model().selectedMarks().at(1));
    settle();
    EXPECT_EQ(canvas().marks(), QList<RedactionRegion>{model().selectedMarks().at(1)});

    // Delete on the page removes the pointed-out box; the phrase keeps it out.
    canvas().setFocus();
    QTest::keyClick(&canvas(), Qt::Key_Delete);
    EXPECT_EQ(model().selectedMarks().size(), 5);
    EXPECT_EQ(model().exclusions().value(*model().selection()).size(), 1);
    EXPECT_EQ(phraseText(), QStringLiteral("\u201Cjane doe\u201D \u00B7 4 marked"));

    settle();
    controls().phraseRows()->findChildren<QToolButton*>(QStringLiteral("remove")).back()->click();
    EXPECT_EQ(rowTexts(), QStringList{QStringLiteral("Page 5 / Area")});
    EXPECT_TRUE(model().exclusions().value(*model().selection()).isEmpty());
    rows().front()->findChild<QToolButton*>(QStringLiteral("remove"))->click();
    EXPECT_TRUE(rowTexts().isEmpty());
    EXPECT_TRUE(controls().nothingMarked()->isVisibleTo(&controls()));
}

// However many marks there are, the output settings and the redact button
// stay on screen; the list scrolls in its own section.
TEST_F(ControlsPaneTest, SettingsStayVisibleWithHundredsOfMarks)
{
    app().window().resize(ContentView::kMinimumWidth, ContentView::kMinimumHeight);
    add({pdf(QStringLiteral("a.pdf"))});
    for (int i = 0; i < 500; ++i)
        model().addMark(Rect{0.001 * i, 0.5, 0.1, 0.1});
    settle();
    // Rows stop at a few hundred, so that the list is built without a stall;
    // the rest are counted.
    ASSERT_EQ(rows().size(), 300);
    const auto* more = controls().findChild<QLabel*>(QStringLiteral("moreMarks"));
    ASSERT_TRUE(more);
    EXPECT_TRUE(more->text().contains(QStringLiteral("200")));
    const QList<QWidget*> settings{controls().resolution(), controls().chooseDestinationButton(),
                                   controls().redactButton()};
    for (QWidget* widget : settings) {
        ASSERT_TRUE(widget->isVisible());
        const QRect inPane(widget->mapTo(&controls(), QPoint(0, 0)), widget->size());
        EXPECT_TRUE(controls().rect().contains(inPane)) << widget->metaObject()->className();
        EXPECT_TRUE(widget->visibleRegion().boundingRect().size() == widget->size());
    }
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
    EXPECT_TRUE(controls().progressLabel()->fullText().startsWith(QStringLiteral("Redacting 1 of 1")));

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
