#include "app/bundle_signature.h"
#include "app/self_updater.h"
#include "app/swap_script.h"
#include "app/zip_writer.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_https.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace inkveil;
using namespace inkveil::test;
using SelfUpdater::UpdateError;
using SelfUpdater::UpdateFailure;

namespace {

int modeOf(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// A sleeping child stands in for the running program.
class WithRunningProgram : public TempDirTest {
protected:
    void SetUp() override
    {
        program.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(program.waitForStarted());
    }

    void TearDown() override
    {
        program.kill();
        program.waitForFinished();
    }

    QProcess program;
};

class SelfUpdaterTest : public WithRunningProgram {
protected:
    void SetUp() override
    {
        WithRunningProgram::SetUp();
        installation.destination = makeBundle(path(QStringLiteral("Applications")), QStringLiteral("Inkveil.app"),
                                              QStringLiteral("1.0"));
        installation.identifier = kBundleIdentifier;
        installation.processId = program.processId();
        installation.temporaryFolder = path(QStringLiteral("tmp"));
        installation.trustedKey = key.publicKey;
        QDir().mkpath(installation.temporaryFolder);
    }

    QString signedBundle(const QString& version, const QString& identifier = kBundleIdentifier,
                         const QByteArray& secretKey = {})
    {
        const QString bundle = makeBundle(path(QStringLiteral("src/%1").arg(++bundles)),
                                          QStringLiteral("Inkveil.app"), version, identifier);
        BundleSignature::sign(bundle, secretKey.isEmpty() ? key.secretKey : secretKey);
        return bundle;
    }

    void serve(const std::function<void(ZipWriter&)>& fill)
    {
        const QString archive = path(QStringLiteral("update.zip"));
        {
            ZipWriter zip(archive);
            fill(zip);
            zip.close();
        }
        server.answer("/update.zip", {200, readAll(archive)});
    }

    // The installation's failure; nothing when it succeeded.
    std::exception_ptr install(const QString& version = QStringLiteral("1.1"))
    {
        QFuture<void> future = SelfUpdater::install({version, server.url("/update.zip"), {}}, network, installation);
        EXPECT_TRUE(waitUntil([&] { return future.isFinished(); }));
        try {
            future.waitForFinished();
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }

    std::optional<UpdateError> installError(const QString& version = QStringLiteral("1.1"))
    {
        try {
            if (const auto failure = install(version))
                std::rethrow_exception(failure);
        } catch (const UpdateFailure& failure) {
            return failure.error();
        } catch (const std::exception& other) {
            ADD_FAILURE() << "not an UpdateError: " << other.what();
        }
        return std::nullopt;
    }

    QString swapScript() const { return SwapScript::path(installation.temporaryFolder, installation.processId); }

    BundleSignature::KeyPair key = BundleSignature::generateKeyPair();
    HttpsServer server;
    TrustingNetwork network{{testTls().authority}};
    SelfUpdater::Installation installation;
    int bundles = 0;
};

TEST_F(SelfUpdaterTest, InstallsIntoPrivateFilesAndSwapsOnceTheProgramHasEnded)
{
    const QString marker = path(QStringLiteral("launched"));
    qputenv("INKVEIL_TEST_MARKER", marker.toUtf8()); // inherited by the detached script
    serve([&](ZipWriter& zip) { zip.addTree(signedBundle(QStringLiteral("1.1")), "Inkveil.app"); });
    ASSERT_EQ(install(), nullptr);
    const QString work = SelfUpdater::workFolder(installation);
    EXPECT_EQ(modeOf(work), 0700);
    EXPECT_EQ(modeOf(swapScript()), 0600);
    EXPECT_TRUE(QFileInfo(work + QStringLiteral("/unpacked/Inkveil.app/AppRun")).isExecutable());
    EXPECT_EQ(bundleVersion(installation.destination), QStringLiteral("1.0")) << "swapped while still running";
    program.kill();
    program.waitForFinished();
    EXPECT_TRUE(waitUntil([&] { return readAll(marker) == "1.1\n"; }, 10000));
    EXPECT_TRUE(BundleSignature::isValid(installation.destination, key.publicKey));
}

TEST_F(SelfUpdaterTest, RefusesBadDeliveriesBeforeAnythingIsSwapped)
{
    const auto other = BundleSignature::generateKeyPair();
    const std::pair<std::function<void(ZipWriter&)>, UpdateError> deliveries[] = {
        {[&](ZipWriter& z) { z.addTree(signedBundle(QStringLiteral("1.1")), "Release/Inkveil.app"); }, UpdateError::notFound},
        {[&](ZipWriter& z) {
             z.addTree(signedBundle(QStringLiteral("1.1")), "Inkveil.app");
             z.addFile("../../escaped", "x");
         },
         UpdateError::unpack},
        {[&](ZipWriter& z) { z.addTree(signedBundle(QStringLiteral("1.1"), kBundleIdentifier, other.secretKey), "Inkveil.app"); },
         UpdateError::badSignature},
        {[&](ZipWriter& z) { z.addTree(signedBundle(QStringLiteral("1.1"), QStringLiteral("com.mervo.Other")), "Inkveil.app"); },
         UpdateError::wrongApp},
        {[&](ZipWriter& z) { z.addTree(signedBundle(QStringLiteral("1.1.0")), "Inkveil.app"); }, UpdateError::wrongApp},
    };
    int n = 0;
    for (const auto& [fill, expected] : deliveries) {
        SCOPED_TRACE(++n);
        serve(fill);
        EXPECT_EQ(installError(), expected);
        EXPECT_FALSE(QFileInfo::exists(swapScript()));
        EXPECT_EQ(bundleVersion(installation.destination), QStringLiteral("1.0"));
    }
}

TEST_F(SelfUpdaterTest, BadAnswersFailAsDownloadAndNoServerAsTransfer)
{
    installation.maxArchiveBytes = 1000;
    installation.stallTimeout = std::chrono::milliseconds(500);
    for (const Answer& answer : {Answer{404, "missing"}, Answer{200, QByteArray(2000, 'z')},
                                 Answer{200, QByteArray(2000, 'z'), Answer::Mode::unbounded},
                                 Answer{200, QByteArray(900, 'z'), Answer::Mode::stall}}) {
        server.answer("/update.zip", answer);
        EXPECT_EQ(installError(), UpdateError::download) << answer.status << " mode " << int(answer.mode);
    }
    server.close();
    const auto failure = install();
    ASSERT_NE(failure, nullptr);
    EXPECT_THROW(std::rethrow_exception(failure), SelfUpdater::TransferError);
}

TEST_F(SelfUpdaterTest, ReplacesAPlantedWorkFolderWithoutFollowingIt)
{
    const QString victim = path(QStringLiteral("victim"));
    writeFile(victim + QStringLiteral("/precious"), "keep me");
    ASSERT_TRUE(QFile::link(victim, SelfUpdater::workFolder(installation)));
    server.answer("/update.zip", {404, ""});
    EXPECT_EQ(installError(), UpdateError::download);
    EXPECT_EQ(readAll(victim + QStringLiteral("/precious")), "keep me");
    EXPECT_FALSE(QFileInfo(SelfUpdater::workFolder(installation)).isSymLink());
}

bool mountTmpfs(const QString& at)
{
    return QDir().mkpath(at) && ::mount("inkveil-test", QFile::encodeName(at).constData(), "tmpfs", 0, "size=64k") == 0;
}

bool makeReadOnly(const QString& at)
{
    return ::mount(nullptr, QFile::encodeName(at).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TEST_F(SelfUpdaterTest, AnUnreplaceableLocationFailsBeforeAnyDownload)
{
    server.answer("/update.zip", {404, ""});
    installation.destination.clear(); // not run from a bundle
    EXPECT_EQ(installError(), UpdateError::readOnlyLocation);
    EXPECT_EQ(server.requests(), 0);

    // Mounts made after this stay in a namespace private to this thread.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no private mounts here";
    // The bundle's own file system is read-only, its parent folder is not.
    const QString readOnlyBundle = path(QStringLiteral("a/Inkveil.app"));
    ASSERT_TRUE(mountTmpfs(readOnlyBundle) && makeReadOnly(readOnlyBundle));
    installation.destination = readOnlyBundle;
    EXPECT_EQ(installError(), UpdateError::readOnlyLocation);

    // The parent folder is read-only, the bundle's file system is not.
    const QString parent = path(QStringLiteral("b"));
    ASSERT_TRUE(mountTmpfs(parent) && mountTmpfs(parent + QStringLiteral("/Inkveil.app")) && makeReadOnly(parent));
    installation.destination = parent + QStringLiteral("/Inkveil.app");
    EXPECT_EQ(installError(), UpdateError::readOnlyLocation);

    for (const QString& at : {installation.destination, parent, readOnlyBundle})
        ::umount2(QFile::encodeName(at).constData(), MNT_DETACH);
    EXPECT_EQ(server.requests(), 0);
    EXPECT_FALSE(QFileInfo::exists(SelfUpdater::workFolder(installation)));
}

// Runs the script for real: "old" is installed, "new" is unpacked.
class SwapScriptRun : public WithRunningProgram {
protected:
    void SetUp() override
    {
        WithRunningProgram::SetUp();
        // Quotes, spaces and "$" in every path the script sees.
        installed = makeBundle(path(QStringLiteral("Apps 'n' \"$HOME\"")), QStringLiteral("Inkveil.app"),
                               QStringLiteral("1.0"));
        unpacked = makeBundle(path(QStringLiteral("work $1/unpacked")), QStringLiteral("Inkveil.app"),
                              QStringLiteral("1.1"));
        marker = path(QStringLiteral("launched"));
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

void PrintTo(const FailingTool& tool, std::ostream* out)
{
    *out << tool.name;
}

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

// The release tool's bundle and update, installed and run for real; the probe
// stands in for the program.
class UpdateEndToEnd : public TempDirTest {};

TEST_F(UpdateEndToEnd, ABundledProgramUpdatesItselfAndRelaunches)
{
    const auto release = [](const QStringList& args) { return runProgram(QStringLiteral(INKVEIL_RELEASE_TOOL), args); };
    const auto pathArg = [this](const char* name) { return path(QString::fromUtf8(name)); };
    HttpsServer server;
    QDir().mkpath(pathArg("prefix/bin"));
    QFile::copy(QStringLiteral(INKVEIL_UPDATE_PROBE), pathArg("prefix/bin/inkveil"));
    ASSERT_EQ(release({QStringLiteral("keygen"), pathArg("release.key"), pathArg("release.pub")}).exitCode, 0);
    ASSERT_EQ(release({QStringLiteral("bundle"), QStringLiteral("--install"), pathArg("prefix"),
                       QStringLiteral("--version"), QStringLiteral("1.0"), QStringLiteral("--out"), pathArg("My Apps")})
                  .exitCode,
              0);
    const auto publish = [&](const QString& url) {
        return release({QStringLiteral("release"), QStringLiteral("--install"), pathArg("prefix"),
                        QStringLiteral("--version"), QStringLiteral("1.1"), QStringLiteral("--key"), pathArg("release.key"),
                        QStringLiteral("--url"), url, QStringLiteral("--out"), pathArg("out")});
    };
    // The tool publishes nothing that the program would ignore.
    EXPECT_EQ(publish(QStringLiteral("http://127.0.0.1/Inkveil-1.1.zip")).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(pathArg("out")));
    const ProcessResult made = publish(server.url("/Inkveil-1.1.zip").toString());
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    server.answer("/latest.json", {200, readAll(pathArg("out/latest.json"))});
    server.answer("/Inkveil-1.1.zip", {200, readAll(pathArg("out/Inkveil-1.1.zip"))});

    QDir().mkpath(pathArg("tmp"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKVEIL_PROBE_REPORT"), pathArg("report"));
    env.insert(QStringLiteral("INKVEIL_PROBE_MANIFEST"), server.url("/latest.json").toString());
    env.insert(QStringLiteral("INKVEIL_PROBE_AUTHORITY"), testTls().authorityFile);
    env.insert(QStringLiteral("INKVEIL_PROBE_KEY"), QString::fromUtf8(readAll(pathArg("release.pub")).trimmed()));
    env.insert(QStringLiteral("TMPDIR"), pathArg("tmp"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const QString bundle = pathArg("My Apps/Inkveil.app");
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(bundle + QStringLiteral("/AppRun"), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(program.exitCode(), 0);

    // The relaunched program checks again and finds itself up to date.
    const QByteArray expected = "started 1.0\noffer 1.1\ninstalled\nstarted 1.1\nno update\n";
    EXPECT_TRUE(waitUntil([&] { return readAll(pathArg("report")) == expected; }, 60000))
        << readAll(pathArg("report")).constData();
    EXPECT_EQ(bundleVersion(bundle), QStringLiteral("1.1"));
    EXPECT_FALSE(QFileInfo::exists(bundle + QStringLiteral(".bak")));
    EXPECT_EQ(server.requests(), 3);
}

} // namespace
