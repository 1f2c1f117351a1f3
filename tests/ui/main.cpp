#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The window runs headless, with an event loop, as the application runs it.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Settings (the declined update) go to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    return RUN_ALL_TESTS();
}
