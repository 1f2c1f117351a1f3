// The real program on a real (virtual) X display: it starts with the sample
// document from the environment, shows its window, takes files from a later
// launch, and leaves a screenshot behind for a person to look at.

#include "tests/support/test_env.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>

namespace inkveil::test {
namespace {

// A running Xvfb on a display number nobody uses; stopped when destroyed.
class VirtualDisplay {
public:
    bool start()
    {
        for (int number = 90; number < 200; ++number) {
            if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
                || QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
                continue;
            m_name = QStringLiteral(":%1").arg(number);
            m_server.start(QStringLiteral("Xvfb"), {m_name, QStringLiteral("-screen"), QStringLiteral("0"),
                                                    QStringLiteral("1400x900x24"), QStringLiteral("-nolisten"),
                                                    QStringLiteral("tcp")});
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (QTest::qWaitFor([&] { return QFileInfo::exists(socket) || m_server.state() == QProcess::NotRunning; },
                                10000)
                && m_server.state() == QProcess::Running)
                return true;
            m_server.kill();
            m_server.waitForFinished();
        }
        return false;
    }

    ~VirtualDisplay()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
    }

    const QString& name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

class XvfbSmokeTest : public TempDirTest {
protected:
    QProcessEnvironment environment(const QString& display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("MERVO_UI_TEST_INPUTS"), QStringLiteral(INKVEIL_SAMPLE_PDF));
        env.insert(QStringLiteral("MERVO_UI_TEST_OUTPUT_DIR"), path(QStringLiteral("out")));
        env.insert(QStringLiteral("DISABLE_AUTO_UPDATE"), QStringLiteral("1"));
        // Its own open-with socket, apart from any instance the user runs.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir());
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        return env;
    }

    // Saves the screen once the window has settled.
    bool grab(const QProcessEnvironment& env, const QString& file)
    {
        QProcess grabber;
        grabber.setProcessEnvironment(env);
        grabber.start(QStringLiteral(INKVEIL_SCREEN_GRAB), {file, QStringLiteral("60000")});
        return grabber.waitForFinished(90000) && grabber.exitStatus() == QProcess::NormalExit && grabber.exitCode() == 0;
    }
};

TEST_F(XvfbSmokeTest, TheProgramShowsTheSampleAndTakesFilesFromALaterLaunch)
{
    if (!haveTool(QStringLiteral("Xvfb")))
        GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    VirtualDisplay display;
    ASSERT_TRUE(display.start());
    QDir(dir()).mkpath(QStringLiteral("out"));
    QFile::setPermissions(dir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QProcessEnvironment env = environment(display.name());

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(INKVEIL_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted());

    const QString screenshot = QStringLiteral(INKVEIL_SMOKE_SCREENSHOT);
    QFile::remove(screenshot);
    ASSERT_TRUE(grab(env, screenshot)) << "no window appeared";
    std::cout << "Screenshot of the window: " << screenshot.toStdString() << std::endl;
    EXPECT_EQ(program.state(), QProcess::Running);
    const QImage first(screenshot);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.size(), QSize(1400, 900));

    // A second launch hands its file over and ends at once.
    const QString other = QDir(dir()).filePath(QStringLiteral("second.pdf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(INKVEIL_SAMPLE_PDF), other));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(INKVEIL_PROGRAM), {other});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(program.state(), QProcess::Running);

    // The running window now lists two documents: the screen changed.
    const QString after = path(QStringLiteral("after.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grab(env, after) && QImage(after) != first; }, 30000));

    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
}

} // namespace
} // namespace inkveil::test
