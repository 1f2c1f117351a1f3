// The open dialog takes files and folders in one go, as the add command needs.

#include "tests/support/test_env.h"
#include "tests/ui/window_fixture.h"
#include "ui/desktop_dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
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

    QString title;
    QString confirm;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
        if (!view || !view->model())
            return;
        dialog->setDirectory(dir());
        const QModelIndex root = view->rootIndex();
        if (view->model()->rowCount(root) < 2)
            return; // still reading the folder
        poll.stop();
        title = dialog->windowTitle();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
            const QModelIndex index = view->model()->index(row, 0, root);
            const QString name = index.data().toString();
            if (name == QStringLiteral("folder") || name == QStringLiteral("a.pdf"))
                view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        QPushButton* add = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
        confirm = add->text();
        add->click();
    });
    poll.start(20);

    DesktopDialogs dialogs;
    QStringList chosen = dialogs.chooseInputs(QStringLiteral("Choose PDF Documents"), QStringLiteral("Add"));
    chosen.sort();
    EXPECT_EQ(chosen, (QStringList{path(QStringLiteral("a.pdf")), path(QStringLiteral("folder"))}));
    EXPECT_EQ(title, QStringLiteral("Choose PDF Documents"));
    EXPECT_EQ(confirm, QStringLiteral("Add"));
}

TEST_F(OpenDialogTest, CancellingChoosesNothing)
{
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    cancel.start(20);
    DesktopDialogs dialogs;
    EXPECT_TRUE(dialogs.chooseInputs(QStringLiteral("Choose PDF Documents"), QStringLiteral("Add")).isEmpty());
    EXPECT_FALSE(dialogs.chooseOutputFolder(QStringLiteral("Choose Output Folder"), QStringLiteral("Choose"), dir()));
}

// The update prompts' alerts: buttons in the order given, the first the default.
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
    answerNextAlert(QStringLiteral("OK"));
    dialogs.showAlert(QStringLiteral("You're up to date"), QStringLiteral("Mervo Inkveil 1.0 is the latest version."));
}

} // namespace
} // namespace inkveil::test
