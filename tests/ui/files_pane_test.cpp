// The window and its files pane: the list and its selection, the detail line
// and the badge, dropping files and folders with the outline, and the alert.

#include "tests/ui/window_fixture.h"

#include "ui/file_detail.h"
#include "ui/files_pane.h"
#include "ui/input_row_delegate.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

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

TEST_F(FilesPaneTest, EachRowReadsItsPagesAndSizeAndCountsItsMarks)
{
    add({pdf(QStringLiteral("one.pdf"), 1), pdf(QStringLiteral("two.pdf"), 2)});
    EXPECT_EQ(rowData(0, InputRowDelegate::DetailRole).toString(),
              QStringLiteral("1 page \u00B7 ") + fileSize(model().inputs().front().byteCount));
    EXPECT_TRUE(rowData(1, InputRowDelegate::DetailRole).toString().startsWith(QStringLiteral("2 pages \u00B7 ")));

    for (double x : {0.1, 0.4, 0.7})
        model().addMark(Rect{x, 0.1, 0.2, 0.2});
    EXPECT_EQ(rowData(0, InputRowDelegate::MarkCountRole).toInt(), 3);
    EXPECT_EQ(rowData(1, InputRowDelegate::MarkCountRole).toInt(), 0);
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
    EXPECT_EQ(preview().title()->fullText(), QStringLiteral("b.pdf"));
    EXPECT_EQ(preview().pageLabel()->text(), QStringLiteral("Page 1 of 2"));

    // The model's own changes of selection show in the list.
    model().removeSelected();
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text(), QStringLiteral("a.pdf"));
}

TEST_F(FilesPaneTest, DroppingAnywhereAddsTheFilesAndFoldersInTheirSortedOrder)
{
    const QString docs = folder(QStringLiteral("docs"));
    for (const char* name : {"/b.pdf", "/a10.pdf", "/a2.pdf"})
        PdfBuilder().textPage("x").write(docs + QString::fromLatin1(name));
    const QString loose = pdf(QStringLiteral("loose.pdf"));

    // The outline shows only while files are over the window.
    dragFilesOver(&content(), {loose});
    EXPECT_TRUE(content().showsDropOutline());
    leaveWithFiles(&content());
    EXPECT_FALSE(content().showsDropOutline());
    EXPECT_TRUE(model().inputs().isEmpty());

    // Dropped on a child that takes no drops itself: the window takes them.
    dropFiles(files().list(), {docs, loose});
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("a2.pdf"), QStringLiteral("a10.pdf"), QStringLiteral("b.pdf"),
                                       QStringLiteral("loose.pdf")}));
    EXPECT_FALSE(content().showsDropOutline());
    EXPECT_FALSE(model().isDropTargeted());
}

TEST_F(FilesPaneTest, TheSearchFieldLeavesDroppedFilesToTheWindow)
{
    auto* field = content().findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    dropFiles(field, {pdf(QStringLiteral("a.pdf"))});
    EXPECT_EQ(model().inputs().size(), 1);
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(FilesPaneTest, ErrorsShowInTheAlertEveryTimeAndDismissingClearsThem)
{
    const QString text = path(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    for (int time = 0; time < 2; ++time) {
        SCOPED_TRACE(time);
        dropFiles(&content(), {text});
        QMessageBox* alert = content().errorAlert();
        ASSERT_TRUE(alert && alert->isVisible());
        EXPECT_EQ(alert->informativeText(), QStringLiteral("No readable PDF documents were found."));
        alert->button(QMessageBox::Ok)->click();
        EXPECT_FALSE(model().errorMessage());
        EXPECT_FALSE(alert->isVisible());
    }
}

// A page the engine finds damaged is offered to be redacted anyway, once.
TEST_F(FilesPaneTest, TheAlertForADamagedPageOffersRedactAnyway)
{
    add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    model().setOutputFolder(folder(QStringLiteral("out")));
    int allowed = 0;
    model().setRedactor([&](const QString& source, const QString& destination, const RedactionPlan& plan,
                            const InkveilEngine::CancelCheck&, const InkveilEngine::PageProgress&) -> RedactionResult {
        if (!plan.allowDamaged)
            throw InkveilError::damagedPage(source, 0);
        ++allowed;
        QFile output(destination + QStringLiteral("/a.pdf"));
        output.open(QIODevice::WriteOnly);
        return RedactionResult{output.fileName(), RedactionVerification{1, 1, false, false, false}, {}};
    });
    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    QMessageBox* alert = content().errorAlert();
    ASSERT_TRUE(alert && alert->isVisible());
    QAbstractButton* anyway = nullptr;
    for (QAbstractButton* button : alert->buttons())
        anyway = button->text() == QStringLiteral("Redact Anyway") ? button : anyway;
    ASSERT_TRUE(anyway);
    anyway->click();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(allowed, 1);
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(alert->isVisible());
}

} // namespace
} // namespace inkveil::test
