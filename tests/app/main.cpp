#include <QGuiApplication>

#include <gtest/gtest.h>

// The model lives on a GUI thread with an event loop, as in the application.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
