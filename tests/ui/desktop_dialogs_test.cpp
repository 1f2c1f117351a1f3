// The open dialog takes files and folders in one go, as the add command needs;
// the update prompts' alerts answer with the button chosen.

#include "tests/support/test_env.h"
#include "tests/ui/window_fixture.h"
#include "ui/desktop_dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace inkveil::test {
namespace {

class OpenDialogTest : public TempDirTest {};

TEST_F(OpenDialogTest, TheConfirmButtonTakesTheSelectedFilesAndFoldersTogether)
{
    QDir(dir()).mkpath(QStringLiteral("folder"));
    QFile(path(QStringLiteral("a.pdf"))).open(QIODevice::WriteOnly);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* view = dialog ? dialog->findChild<QAbstractItemView*>(QStringLiteral("listView")) : nullptr;
        if (!view || !view->model())
            return;
        dialog->setDirectory(dir());
        const QModelIndex root = view->rootIndex();
        if (view->model()->rowCount(root) < 2)
            return; // still reading the folder
        poll.stop();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            view->selectionModel()->select(view->model()->index(row, 0, root),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
    });
    poll.start(20);

    QStringList chosen = DesktopDialogs().chooseInputs(QStringLiteral("Choose PDF Documents"), QStringLiteral("Add"));
    chosen.sort();
    EXPECT_EQ(chosen, (QStringList{path(QStringLiteral("a.pdf")), path(QStringLiteral("folder"))}));
}

// Buttons in the order given, the first the default.
TEST(DesktopAlerts, TheAnswerIsThePositionOfTheButtonChosen)
{
    DesktopDialogs dialogs;
    const QStringList buttons{QStringLiteral("Update Now"), QStringLiteral("Later")};
    for (int answer : {0, 1}) {
        QString defaultButton;
        answerNextAlert(buttons[answer], [&](QMessageBox& box) { defaultButton = box.defaultButton()->text(); });
        EXPECT_EQ(dialogs.askAlert(QStringLiteral("A new version of Mervo Inkveil is available"), QString(), buttons), answer);
        EXPECT_EQ(defaultButton, QStringLiteral("Update Now"));
    }
}

} // namespace
} // namespace inkveil::test
