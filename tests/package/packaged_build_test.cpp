#include "app/app_model.h"
#include "ui/app_commands.h"
#include "ui/inkveil_app.h"
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace inkveil {
namespace {

// The package manager owns a packaged program: it offers no update and never
// asks for one, even with automatic checks left on.
TEST(PackagedBuild, OffersNoUpdates)
{
    qunsetenv("DISABLE_AUTO_UPDATE");
    InkveilApp app;
    QApplication::processEvents();

    EXPECT_FALSE(app.model().automaticUpdateCheckStarted());
    EXPECT_EQ(app.commands().updateTo(), nullptr);
    EXPECT_EQ(app.commands().checkForUpdates(), nullptr);
    QStringList items;
    for (const QMenu* menu : app.window().menuBar()->findChildren<QMenu*>()) {
        for (const QAction* action : menu->actions())
            items.append(action->text());
    }
    EXPECT_TRUE(items.contains(QStringLiteral("About Inkveil"))) << items.join(u'|').toStdString();
    EXPECT_TRUE(items.filter(QStringLiteral("Update"), Qt::CaseInsensitive).isEmpty())
        << items.join(u'|').toStdString();
}

} // namespace
} // namespace inkveil

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    return RUN_ALL_TESTS();
}
