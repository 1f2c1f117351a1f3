#include "app/app_bundle.h"
#include "app/bundle_signature.h"
#include "tests/support/test_env.h"
#include "tests/updates/https_server.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_tls.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace inkveil;
using namespace inkveil::test;

namespace {

class UpdateEndToEnd : public TempDirTest {
protected:
    ProcessResult release(const QStringList& args) { return runProgram(QStringLiteral(INKVEIL_RELEASE_TOOL), args); }

    // An installed tree whose program is the probe.
    QString install()
    {
        const QString prefix = path(QStringLiteral("prefix"));
        QDir().mkpath(prefix + QStringLiteral("/bin"));
        QFile::copy(QStringLiteral(INKVEIL_UPDATE_PROBE), prefix + QStringLiteral("/bin/inkveil"));
        return prefix;
    }
};

TEST_F(UpdateEndToEnd, ABundledProgramUpdatesItselfAndRelaunches)
{
    HttpsServer server;
    const QString prefix = install();
    const QString secret = path(QStringLiteral("release.key"));
    const QString publicKey = path(QStringLiteral("release.pub"));
    ASSERT_EQ(release({QStringLiteral("keygen"), secret, publicKey}).exitCode, 0);

    const QString apps = path(QStringLiteral("My Apps"));
    ASSERT_EQ(release({QStringLiteral("bundle"), QStringLiteral("--install"), prefix, QStringLiteral("--version"),
                       QStringLiteral("1.0"), QStringLiteral("--out"), apps})
                  .exitCode,
              0);
    const QString out = path(QStringLiteral("release"));
    const auto publish = [&](const QString& url) {
        return release({QStringLiteral("release"), QStringLiteral("--install"), prefix, QStringLiteral("--version"),
                        QStringLiteral("1.1"), QStringLiteral("--key"), secret, QStringLiteral("--url"), url,
                        QStringLiteral("--notes"), QStringLiteral("Faster"), QStringLiteral("--out"), out});
    };
    // The tool publishes nothing that the program would ignore.
    EXPECT_EQ(publish(QStringLiteral("http://127.0.0.1/Inkveil-1.1.zip")).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(out));
    const ProcessResult made = publish(server.url("/Inkveil-1.1.zip").toString());
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    server.answer("/latest.json", {200, readAll(out + QStringLiteral("/latest.json"))});
    server.answer("/Inkveil-1.1.zip", {200, readAll(out + QStringLiteral("/Inkveil-1.1.zip"))});

    const QString report = path(QStringLiteral("report"));
    QDir().mkpath(path(QStringLiteral("tmp")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKVEIL_PROBE_REPORT"), report);
    env.insert(QStringLiteral("INKVEIL_PROBE_MANIFEST"), server.url("/latest.json").toString());
    env.insert(QStringLiteral("INKVEIL_PROBE_AUTHORITY"), testTls().authorityFile);
    env.insert(QStringLiteral("INKVEIL_PROBE_KEY"), QString::fromUtf8(readAll(publicKey).trimmed()));
    env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));

    const QString bundle = apps + QStringLiteral("/Inkveil.app");
    QProcess old;
    old.setProcessEnvironment(env);
    old.start(bundle + QStringLiteral("/AppRun"), {});
    ASSERT_TRUE(old.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return old.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(old.exitCode(), 0);

    // The relaunched program checks again and finds itself up to date.
    const QByteArray expected = "started 1.0\noffer 1.1\ninstalled\nstarted 1.1\nno update\n";
    EXPECT_TRUE(waitUntil([&] { return readAll(report) == expected; }, 60000)) << readAll(report).constData();
    EXPECT_EQ(readAppBundle(bundle)->version, QStringLiteral("1.1"));
    EXPECT_FALSE(QFileInfo::exists(bundle + QStringLiteral(".bak")));
    EXPECT_EQ(server.requests(), 3);
}

} // namespace
