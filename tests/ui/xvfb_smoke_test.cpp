// The real program on a real (virtual) X display: it starts with the sample
// document from the environment, shows its window, takes files from a later
// launch, and leaves a screenshot behind for a person to look at.

#include "tests/support/test_env.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <iostream>

namespace inkveil::test {
namespace {

class XvfbSmokeTest : public TempDirTest {};

TEST_F(XvfbSmokeTest, TheProgramShowsTheSampleAndTakesFilesFromALaterLaunch)
{
    if (!haveTool(QStringLiteral("Xvfb")))
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    // Xvfb picks a free display number and tells it on its output.
    QProcess server;
    server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                          QStringLiteral("0"), QStringLiteral("1400x900x24"), QStringLiteral("-nolisten"),
                                          QStringLiteral("tcp")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.canReadLine(); }, 10000)) << "Xvfb did not start";
    const QString display = QStringLiteral(":") + QString::fromLatin1(server.readLine().trimmed());
    QDir(dir()).mkpath(QStringLiteral("out"));
    QFile::setPermissions(dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("MERVO_UI_TEST_INPUTS"), QStringLiteral(INKVEIL_SAMPLE_PDF));
    env.insert(QStringLiteral("MERVO_UI_TEST_OUTPUT_DIR"), path(QStringLiteral("out")));
    env.insert(QStringLiteral("DISABLE_AUTO_UPDATE"), QStringLiteral("1"));
    // Its own open-with socket, apart from any instance the user runs.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    // Saves the screen once the window has settled.
    const auto grab = [&env](const QString& file) {
        QProcess grabber;
        grabber.setProcessEnvironment(env);
        grabber.start(QStringLiteral(INKVEIL_SCREEN_GRAB), {file, QStringLiteral("60000")});
        return grabber.waitForFinished(90000) && grabber.exitStatus() == QProcess::NormalExit && grabber.exitCode() == 0;
    };

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(INKVEIL_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());

    const QString screenshot = QStringLiteral(INKVEIL_SMOKE_SCREENSHOT);
    QFile::remove(screenshot);
    ASSERT_TRUE(grab(screenshot)) << "no window appeared";
    std::cout << "Screenshot of the window: " << screenshot.toStdString() << std::endl;
    EXPECT_EQ(program.state(), QProcess::Running);
    const QImage first(screenshot);
    ASSERT_FALSE(first.isNull());

    // A second launch hands its file over and ends at once.
    const QString other = path(QStringLiteral("second.pdf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(INKVEIL_SAMPLE_PDF), other));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(INKVEIL_PROGRAM), {other});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(program.state(), QProcess::Running);

    // The running window now lists two documents: the screen changed.
    const QString after = path(QStringLiteral("after.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grab(after) && QImage(after) != first; }, 30000));
    program.terminate();
    program.waitForFinished(10000);
    server.terminate();
    server.waitForFinished(5000);
}

} // namespace
} // namespace inkveil::test
