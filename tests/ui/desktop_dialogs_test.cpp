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
