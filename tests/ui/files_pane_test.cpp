// The window and its files pane: the list and its selection, the detail line
// and the badge, dropping files and folders with the outline, and the alert.

#include "tests/ui/window_fixture.h"

#include "ui/content_view.h"
#include "ui/file_detail.h"
#include "ui/files_pane.h"
#include "ui/input_row_delegate.h"
#include "ui/main_window.h"
#include "ui/page_canvas.h"
#include "ui/preview_pane.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

namespace inkveil::test {
namespace {

class FilesPaneTest : public WindowTest {
protected:
    QStringList rowNames()
    {
        QStringList names;
        for (int row = 0; row < files().list()->count(); ++row)
            names.append(files().list()->item(row)->text());
        return names;
    }
    QVariant rowData(int row, int role) { return files().list()->item(row)->data(role); }
};

TEST_F(FilesPaneTest, EmptyListShowsTheDropInvitationAndNoCount)
{
    EXPECT_TRUE(files().showsEmptyState());
    EXPECT_FALSE(files().countLabel()->isVisible());
    auto* title = files().findChild<QLabel*>(QStringLiteral("emptyTitle"));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(), QStringLiteral("Drop PDFs here"));
    EXPECT_EQ(files().addButton()->toolTip(), QStringLiteral("Add PDFs or folders"));

    add({pdf(QStringLiteral("a.pdf"))});
    EXPECT_FALSE(files().showsEmptyState());
    EXPECT_TRUE(files().countLabel()->isVisible());
    EXPECT_EQ(files().countLabel()->text(), QStringLiteral("1"));
    ASSERT_EQ(files().list()->selectedItems().size(), 1);
    EXPECT_EQ(files().list()->selectedItems().front()->text(), QStringLiteral("a.pdf"));
}

TEST_F(FilesPaneTest, BothAddButtonsOpenTheDialogAndAddWhatWasChosen)
{
    dialogs.inputsAnswer = {pdf(QStringLiteral("a.pdf"))};
    files().chooseButton()->click();
    EXPECT_EQ(dialogs.inputRequests, 1);
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("a.pdf")});
    dialogs.inputsAnswer = {pdf(QStringLiteral("b.pdf"))};
    files().addButton()->click();
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}));
}

TEST_F(FilesPaneTest, DetailLineReadsPagesAndSize)
{
    add({pdf(QStringLiteral("one.pdf"), 1), pdf(QStringLiteral("two.pdf"), 2)});
    const QString one = rowData(0, InputRowDelegate::DetailRole).toString();
    const QString two = rowData(1, InputRowDelegate::DetailRole).toString();
    EXPECT_TRUE(one.startsWith(QStringLiteral("1 page \u00B7 "))) << one.toStdString();
    EXPECT_TRUE(two.startsWith(QStringLiteral("2 pages \u00B7 "))) << two.toStdString();
    EXPECT_EQ(one, QStringLiteral("1 page \u00B7 ") + fileSize(model().inputs().front().byteCount));

    RedactInput big{QUuid::createUuid(), QStringLiteral("/x.pdf"), 12, 3'400'000};
    EXPECT_EQ(fileDetail(big), QStringLiteral("12 pages \u00B7 3.4 MB"));
}

TEST_F(FilesPaneTest, BadgeCountsTheMarksAndGoesAwayWithThem)
{
    add({pdf(QStringLiteral("a.pdf"))});
    EXPECT_EQ(rowData(0, InputRowDelegate::MarkCountRole).toInt(), 0);
    for (double x : {0.1, 0.4, 0.7})
        model().addMark(Rect{x, 0.1, 0.2, 0.2});
    EXPECT_EQ(rowData(0, InputRowDelegate::MarkCountRole).toInt(), 3);
    model().clearSelectedMarks();
    EXPECT_EQ(rowData(0, InputRowDelegate::MarkCountRole).toInt(), 0);
}

TEST_F(FilesPaneTest, ClickingARowSelectsThatDocumentAtItsFirstPage)
{
    add({pdf(QStringLiteral("a.pdf"), 3), pdf(QStringLiteral("b.pdf"), 2)});
    model().nextPage();
    QListWidget* list = files().list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());

    EXPECT_EQ(model().selection(), model().inputs().at(1).id);
    EXPECT_EQ(model().currentPage(), 0);
    EXPECT_EQ(preview().title()->text(), QStringLiteral("b.pdf"));
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 1 of 2"));

    // The model's own changes of selection show in the list.
    model().removeSelected();
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text(), QStringLiteral("a.pdf"));
}

TEST_F(FilesPaneTest, DroppingAnywhereAddsTheFilesAndFoldersInTheirSortedOrder)
{
    const QString docs = folder(QStringLiteral("docs"));
    PdfBuilder().textPage("x").write(docs + QStringLiteral("/b.pdf"));
    PdfBuilder().textPage("x").write(docs + QStringLiteral("/a10.pdf"));
    PdfBuilder().textPage("x").write(docs + QStringLiteral("/a2.pdf"));
    const QString loose = pdf(QStringLiteral("loose.pdf"));

    // Dropped on a child that takes no drops itself: the window takes them.
    dropFiles(files().list(), {docs, loose});
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("a2.pdf"), QStringLiteral("a10.pdf"), QStringLiteral("b.pdf"),
                                       QStringLiteral("loose.pdf")}));
    EXPECT_FALSE(content().showsDropOutline());
    EXPECT_FALSE(model().isDropTargeted());
}

TEST_F(FilesPaneTest, TheBlueOutlineShowsOnlyWhileFilesAreDraggedOver)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    EXPECT_FALSE(content().showsDropOutline());
    dragFilesOver(&content(), {file});
    EXPECT_TRUE(model().isDropTargeted());
    EXPECT_TRUE(content().showsDropOutline());
    leaveWithFiles(&content());
    EXPECT_FALSE(model().isDropTargeted());
    EXPECT_FALSE(content().showsDropOutline());
    EXPECT_TRUE(model().inputs().isEmpty());
}

TEST_F(FilesPaneTest, TheSearchFieldLeavesDroppedFilesToTheWindow)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    auto* field = content().findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    dropFiles(field, {file});
    EXPECT_EQ(model().inputs().size(), 1);
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(FilesPaneTest, ErrorsShowInTheAlertAndDismissingClearsThem)
{
    const QString text = path(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    for (int time = 0; time < 2; ++time) {
        SCOPED_TRACE(time);
        dropFiles(&content(), {text});
        QMessageBox* alert = content().errorAlert();
        ASSERT_TRUE(alert && alert->isVisible());
        EXPECT_EQ(alert->text(), ContentView::kErrorTitle);
        EXPECT_EQ(alert->informativeText(), QStringLiteral("No readable PDF documents were found."));
        alert->button(QMessageBox::Ok)->click();
        EXPECT_FALSE(model().errorMessage());
        EXPECT_FALSE(alert->isVisible());
    }
}

TEST_F(FilesPaneTest, WindowKeepsItsSizesAndPaneLimits)
{
    EXPECT_EQ(content().minimumSize(), QSize(1080, 680));
    EXPECT_EQ(app().window().size(), QSize(1280, 790));
    QSplitter* split = content().splitter();
    EXPECT_EQ(split->sizes().at(0), 290);
    EXPECT_EQ(split->sizes().at(2), 380);
    EXPECT_EQ(split->widget(0)->minimumWidth(), 250);
    EXPECT_EQ(split->widget(0)->maximumWidth(), 350);
    EXPECT_EQ(split->widget(1)->minimumWidth(), 470);
    EXPECT_EQ(split->widget(2)->minimumWidth(), 340);
    EXPECT_EQ(split->widget(2)->maximumWidth(), 430);
    // Dragging the divider far to the right stops at the widest files pane.
    QWidget* handle = split->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(400, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(400, 0));
    EXPECT_EQ(split->widget(0)->width(), 350);
}

} // namespace
} // namespace inkveil::test
