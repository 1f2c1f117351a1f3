#include "app/bundle_signature.h"
#include "app/self_updater.h"
#include "app/swap_script.h"
#include "app/zip_writer.h"
#include "tests/support/test_env.h"
#include "tests/updates/https_server.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_tls.h"

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

class SelfUpdaterTest : public TempDirTest {
protected:
    void SetUp() override
    {
        program.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        ASSERT_TRUE(program.waitForStarted());
        installation.destination = makeBundle(path(QStringLiteral("Applications")), QStringLiteral("Inkveil.app"),
                                              QStringLiteral("1.0"));
        installation.identifier = kBundleIdentifier;
        installation.processId = program.processId();
        installation.temporaryFolder = path(QStringLiteral("tmp"));
        installation.trustedKey = key.publicKey;
        QDir().mkpath(installation.temporaryFolder);
    }

    void TearDown() override
    {
        program.kill();
        program.waitForFinished();
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
    QProcess program; // stands in for the running application
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

} // namespace
