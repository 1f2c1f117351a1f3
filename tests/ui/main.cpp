#include <QApplication>

#include <gtest/gtest.h>

// The window runs headless, with an event loop, as the application runs it.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
