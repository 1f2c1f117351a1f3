#include "app/swap_script.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace inkveil;
using namespace inkveil::test;

namespace {

TEST(SwapScriptText, HasFourteenLinesAndQuotesEveryPath)
{
    const QByteArray text = SwapScript::text(4321);
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 14);
    EXPECT_FALSE(text.endsWith('\n'));
    EXPECT_EQ(lines[0], "#!/bin/sh");
    EXPECT_EQ(lines[1], "while kill -0 4321 2>/dev/null; do sleep 0.2; done");
    EXPECT_EQ(lines[13], "nohup \"$2/AppRun\" >/dev/null 2>&1 &");
    // Every use of an argument sits inside double quotes.
    const QString script = QString::fromUtf8(text);
    EXPECT_FALSE(script.contains(QRegularExpression(QStringLiteral(R"((^|[^"])\$[12])"))));
    EXPECT_EQ(runProgram(QStringLiteral("/bin/sh"), {QStringLiteral("-n"), QStringLiteral("-c"), script}).exitCode, 0);
}

// Runs the script for real: "old" is installed, "new" is unpacked, and a
// sleeping child stands in for the running program.
class SwapScriptRun : public TempDirTest {
protected:
    void SetUp() override
    {
        // Quotes, spaces and "$" in every path the script sees.
        installed = makeBundle(path(QStringLiteral("Apps 'n' \"$HOME\"")), QStringLiteral("Inkveil.app"),
                               QStringLiteral("1.0"));
        unpacked = makeBundle(path(QStringLiteral("work $1/unpacked")), QStringLiteral("Inkveil.app"),
                              QStringLiteral("1.1"));
        marker = path(QStringLiteral("launched"));
        program.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(program.waitForStarted());
    }

    void TearDown() override
    {
        program.kill();
        program.waitForFinished();
    }

    // Starts the script, lets the program end, and waits for the relaunch.
    void swap(const QString& fakeTools = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("INKVEIL_TEST_MARKER"), marker);
        if (!fakeTools.isEmpty())
            env.insert(QStringLiteral("PATH"), fakeTools + QStringLiteral(":/usr/bin:/bin"));
        writeFile(path(QStringLiteral("swap.sh")), SwapScript::text(program.processId()));
        QProcess script;
        script.setProcessEnvironment(env);
        script.start(QStringLiteral("/bin/sh"), {path(QStringLiteral("swap.sh")), unpacked, installed});
        ASSERT_TRUE(script.waitForStarted());
        EXPECT_FALSE(script.waitForFinished(600)) << "the script must wait for the program";
        EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
        program.kill();
        program.waitForFinished();
        ASSERT_TRUE(script.waitForFinished(10000));
        ASSERT_TRUE(waitUntil([&] { return QFileInfo(marker).size() > 0; }, 10000)) << "nothing was relaunched";
    }

    void fakeTool(const QString& name, const QByteArray& body)
    {
        writeFile(path(QStringLiteral("tools/") + name), "#!/bin/sh\n" + body,
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString installed;
    QString unpacked;
    QString marker;
    QProcess program;
};

TEST_F(SwapScriptRun, ReplacesTheBundleAndRelaunchesIt)
{
    writeFile(installed + QStringLiteral(".bak/stale"), "from an earlier swap");
    swap();
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.1"));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral(".bak")));
    EXPECT_EQ(readAll(marker), "1.1\n");
    EXPECT_TRUE(QFileInfo(installed + QStringLiteral("/usr/lib/libnotes.so")).isSymLink());
}

TEST_F(SwapScriptRun, AFailedCopyRestoresAndRelaunchesTheOldBundle)
{
    // cp -a "$1" "$2": leaves a half-copied bundle behind, then fails.
    fakeTool(QStringLiteral("cp"), "mkdir -p \"$3\" && echo partial > \"$3/partial\"\nexit 1\n");
    swap(path(QStringLiteral("tools")));
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/partial")));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral(".bak")));
    EXPECT_EQ(readAll(marker), "1.0\n");
}

TEST_F(SwapScriptRun, AFailedBackupLeavesTheInstalledBundleInPlace)
{
    fakeTool(QStringLiteral("mv"), "exit 1\n");
    swap(path(QStringLiteral("tools")));
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
    EXPECT_EQ(readAll(marker), "1.0\n");
}

} // namespace
