#include "app/swap_script.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace inkveil;
using namespace inkveil::test;

namespace {

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

    // Starts the script with `failingTool` (if any) failing, lets the program
    // end, and waits for the relaunch.
    void swap(const QString& failingTool = {}, const QByteArray& itsBody = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("INKVEIL_TEST_MARKER"), marker);
        if (!failingTool.isEmpty()) {
            writeFile(path(QStringLiteral("tools/") + failingTool), "#!/bin/sh\n" + itsBody + "exit 1\n",
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(QStringLiteral("PATH"), path(QStringLiteral("tools")) + QStringLiteral(":/usr/bin:/bin"));
        }
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

struct FailingTool {
    const char* name;
    QByteArray body; // what it does before it fails
};

class FailedSwaps : public SwapScriptRun, public ::testing::WithParamInterface<FailingTool> {};

TEST_P(FailedSwaps, RestoreAndRelaunchTheOldBundle)
{
    swap(QString::fromUtf8(GetParam().name), GetParam().body);
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral("/partial")));
    EXPECT_FALSE(QFileInfo::exists(installed + QStringLiteral(".bak")));
    EXPECT_EQ(readAll(marker), "1.0\n");
}

// The backup fails and nothing moves, or "cp -a src dst" leaves a half-copied bundle.
INSTANTIATE_TEST_SUITE_P(Tools, FailedSwaps, ::testing::Values(
    FailingTool{"mv", {}},
    FailingTool{"cp", "mkdir -p \"$3\" && echo partial > \"$3/partial\"\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
