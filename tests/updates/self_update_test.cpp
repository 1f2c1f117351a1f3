#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_https.h"
#include "update/bundle_signature.h"
#include "update/bundle_swap.h"
#include "update/self_updater.h"
#include "update/zip_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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
        qputenv("INKVEIL_TEST_MARKER", marker.toUtf8()); // inherited by the swap helper
    }

    void TearDown() override
    {
        program.kill();
        program.waitForFinished();
    }

    void endProgram()
    {
        program.kill();
        program.waitForFinished();
    }

    QString signedBundle(const QString& parent, const QString& version, const QString& identifier = kBundleIdentifier,
                         const QByteArray& secretKey = {})
    {
        const QString bundle = makeBundle(parent, QStringLiteral("Inkveil.app"), version, identifier);
        BundleSignature::sign(bundle, secretKey.isEmpty() ? key.secretKey : secretKey);
        return bundle;
    }

    QProcess program;
    BundleSignature::KeyPair key = BundleSignature::generateKeyPair();
    QString marker = path(QStringLiteral("launched"));
};

class SelfUpdaterTest : public WithRunningProgram {
protected:
    void SetUp() override
    {
        WithRunningProgram::SetUp();
        installation.destination =
            QFile::encodeName(makeBundle(apps, QStringLiteral("Inkveil.app"), QStringLiteral("1.0")));
        installation.identifier = kBundleIdentifier;
        installation.processId = program.processId();
        installation.trustedKey = key.publicKey;
    }

    QString newBundle(const QString& version, const QString& identifier = kBundleIdentifier,
                      const QByteArray& secretKey = {})
    {
        return signedBundle(path(QStringLiteral("src/%1").arg(++bundles)), version, identifier, secretKey);
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

    QString destination() const { return QFile::decodeName(installation.destination); }

    QString apps = path(QStringLiteral("Applications"));
    HttpsServer server;
    TrustingNetwork network{{testTls().authority}};
    SelfUpdater::Installation installation;
    int bundles = 0;
};

// A genuine release repacked with open modes, installed under umask 000.
TEST_F(SelfUpdaterTest, InstallsWithSignedModesAndSwapsOnceTheProgramHasEnded)
{
    const QString release = newBundle(QStringLiteral("1.1"));
    QDirIterator it(release, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        if (!QFileInfo(entry).isSymLink())
            ::chmod(QFile::encodeName(entry).constData(), modeOf(entry) == 0755 ? 0777 : 0666);
    }
    serve([&](ZipWriter& zip) { zip.addTree(release, "Inkveil.app"); });
    // A backup left by an older installer, and a work folder of a program that has ended.
    writeFile(destination() + QStringLiteral(".bak/AppRun"), "#!/bin/sh\necho old >> \"$INKVEIL_TEST_MARKER\"\n",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(apps + QStringLiteral("/.Inkveil.app.update-999999999-abcdef/update.zip"), "stale");

    const mode_t previous = ::umask(0);
    const auto restore = qScopeGuard([&] { ::umask(previous); });
    ASSERT_EQ(install(), nullptr);
    const QStringList waiting = entriesOf(apps);
    ASSERT_EQ(waiting.size(), 3) << waiting.join(u' ').toStdString();
    const QString work = apps + u'/' + waiting.front();
    EXPECT_TRUE(waiting.front().startsWith(QStringLiteral(".Inkveil.app.update-%1-").arg(program.processId())));
    EXPECT_EQ(modeOf(work), 0700);
    EXPECT_EQ(entriesOf(work), QStringList{QStringLiteral("Inkveil.app")});
    EXPECT_EQ(bundleVersion(destination()), QStringLiteral("1.0")) << "swapped while still running";

    endProgram();
    ASSERT_TRUE(waitUntil([&] { return readAll(marker) == "1.1\n"; }, 10000)) << readAll(marker).constData();
    EXPECT_TRUE(waitUntil([&] { return entriesOf(apps).size() == 2; }, 5000));
    EXPECT_EQ(entriesOf(apps), (QStringList{QStringLiteral("Inkveil.app"), QStringLiteral("Inkveil.app.bak")}));
    EXPECT_TRUE(BundleSignature::isValid(destination(), key.publicKey));
    QDirIterator installed(destination(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
    while (installed.hasNext()) {
        const QFileInfo entry(installed.next());
        if (!entry.isSymLink()) {
            const int mode = modeOf(entry.filePath());
            EXPECT_TRUE(mode == 0755 || mode == 0644) << entry.filePath().toStdString() << " " << mode;
        }
    }
}

TEST_F(SelfUpdaterTest, RefusesBadDeliveriesAndLeavesNothingBehind)
{
    const auto other = BundleSignature::generateKeyPair();
    const std::pair<std::function<void(ZipWriter&)>, UpdateError> deliveries[] = {
        {[&](ZipWriter& z) { z.addTree(newBundle(QStringLiteral("1.1")), "Release/Inkveil.app"); }, UpdateError::notFound},
        {[&](ZipWriter& z) {
             z.addTree(newBundle(QStringLiteral("1.1")), "Inkveil.app");
             z.addFile("../../escaped", "x");
         },
         UpdateError::unpack},
        {[&](ZipWriter& z) {
             z.addTree(newBundle(QStringLiteral("1.1")), "Inkveil.app");
             z.addFile("Inkveil.app/padding", QByteArray(1 << 20, '\0')); // compresses a thousandfold
         },
         UpdateError::unpack},
        {[&](ZipWriter& z) { z.addTree(newBundle(QStringLiteral("1.1"), kBundleIdentifier, other.secretKey), "Inkveil.app"); },
         UpdateError::badSignature},
        {[&](ZipWriter& z) { z.addTree(newBundle(QStringLiteral("1.1"), QStringLiteral("com.mervo.Other")), "Inkveil.app"); },
         UpdateError::wrongApp},
        {[&](ZipWriter& z) { z.addTree(newBundle(QStringLiteral("1.1.0")), "Inkveil.app"); }, UpdateError::wrongApp},
    };
    int n = 0;
    for (const auto& [fill, expected] : deliveries) {
        SCOPED_TRACE(++n);
        serve(fill);
        EXPECT_EQ(installError(), expected);
        EXPECT_EQ(entriesOf(apps), QStringList{QStringLiteral("Inkveil.app")});
        EXPECT_EQ(bundleVersion(destination()), QStringLiteral("1.0"));
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
        EXPECT_EQ(entriesOf(apps), QStringList{QStringLiteral("Inkveil.app")});
    }
    server.close();
    const auto failure = install();
    ASSERT_NE(failure, nullptr);
    EXPECT_THROW(std::rethrow_exception(failure), SelfUpdater::TransferError);
    EXPECT_EQ(entriesOf(apps), QStringList{QStringLiteral("Inkveil.app")});
}

bool mountTmpfs(const QString& at)
{
    return QDir().mkpath(at) && ::mount("inkveil-test", QFile::encodeName(at).constData(), "tmpfs", 0, "size=64k,mode=0755") == 0;
}

bool makeReadOnly(const QString& at)
{
    return ::mount(nullptr, QFile::encodeName(at).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

TEST_F(SelfUpdaterTest, UnsafeOrUnreplaceableLocationsFailBeforeAnyDownload)
{
    server.answer("/update.zip", {404, ""});
    const QByteArray bundle = installation.destination;
    const auto failsWith = [&](const QByteArray& destination, UpdateError expected, const char* why) {
        installation.destination = destination;
        EXPECT_EQ(installError(), expected) << why;
    };
    failsWith({}, UpdateError::readOnlyLocation, "not run from a bundle");
    failsWith("/usr/lib/inkveil/Inkveil.app", UpdateError::readOnlyLocation, "installed by the package manager");
    // A shared folder where anyone may add names (the sticky /tmp kind).
    ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 01777), 0);
    failsWith(bundle, UpdateError::unsafeLocation, "sticky shared parent");
    ASSERT_EQ(::chmod(QFile::encodeName(apps).constData(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(bundle.constData(), 65534, 65534), 0);
        failsWith(bundle, UpdateError::unsafeLocation, "another user's bundle");
        ASSERT_EQ(::chown(bundle.constData(), 0, 0), 0);
    }
    // A folder name that is not UTF-8 is refused rather than mangled.
    const QByteArray latin1 = QFile::encodeName(path(QString())) + "/Anwendungen-\xe4";
    ASSERT_EQ(::mkdir(latin1.constData(), 0755), 0);
    ASSERT_EQ(::rename(bundle.constData(), (latin1 + "/Inkveil.app").constData()), 0);
    failsWith(latin1 + "/Inkveil.app", UpdateError::unsafeLocation, "not UTF-8");
    ASSERT_EQ(::rename((latin1 + "/Inkveil.app").constData(), bundle.constData()), 0);
    installation.destination = bundle;
    installation.trustedKey.clear();
    EXPECT_EQ(installError(), UpdateError::badSignature) << "a build without a release key";
    EXPECT_EQ(server.requests(), 0);

    // Mounts made after this stay in a namespace private to this thread.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no private mounts here";
    installation.trustedKey = key.publicKey;
    // The bundle's own file system is read-only, its parent folder is not.
    const QString readOnlyBundle = path(QStringLiteral("a/Inkveil.app"));
    ASSERT_TRUE(mountTmpfs(readOnlyBundle) && makeReadOnly(readOnlyBundle));
    failsWith(QFile::encodeName(readOnlyBundle), UpdateError::readOnlyLocation, "read-only bundle");
    // The parent folder is read-only, the bundle's file system is not.
    const QString parent = path(QStringLiteral("b"));
    ASSERT_TRUE(mountTmpfs(parent) && mountTmpfs(parent + QStringLiteral("/Inkveil.app")) && makeReadOnly(parent));
    failsWith(QFile::encodeName(parent + QStringLiteral("/Inkveil.app")), UpdateError::readOnlyLocation,
              "read-only parent");
    for (const QString& at : {parent + QStringLiteral("/Inkveil.app"), parent, readOnlyBundle})
        ::umount2(QFile::encodeName(at).constData(), MNT_DETACH);
    EXPECT_EQ(server.requests(), 0);
}

// The swap helper run for real: "1.0" is installed, "1.1" waits in a work
// folder, and quotes, spaces and "$" are in every path.
class SwapHelperRun : public WithRunningProgram {
protected:
    void SetUp() override
    {
        WithRunningProgram::SetUp();
        apps = path(QStringLiteral("Apps 'n' \"$HOME\""));
        installed = signedBundle(apps, QStringLiteral("1.0"));
        work = apps + QStringLiteral("/.Inkveil.app.update-1-abcdef");
        ASSERT_TRUE(QDir().mkpath(work));
        ::chmod(QFile::encodeName(work).constData(), 0700);
        signedBundle(work, QStringLiteral("1.1"));
    }

    void startHelper(QProcess& helper)
    {
        BundleSwap::Request request;
        request.processId = program.processId();
        request.workFolder = QFile::encodeName(work);
        request.bundleName = "Inkveil.app";
        request.destination = QFile::encodeName(installed);
        request.trustedKey = key.publicKey;
        request.identifier = kBundleIdentifier;
        request.version = QStringLiteral("1.1");
        QStringList arguments;
        for (const QByteArray& argument : BundleSwap::arguments(request))
            arguments.append(QFile::decodeName(argument));
        helper.start(QCoreApplication::applicationFilePath(), arguments);
        ASSERT_TRUE(helper.waitForStarted());
    }

    // The version the relaunched program reports.
    QByteArray swap()
    {
        QProcess helper;
        startHelper(helper);
        EXPECT_FALSE(helper.waitForFinished(600)) << "the helper must wait for the program";
        EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
        endProgram();
        EXPECT_TRUE(helper.waitForFinished(20000));
        EXPECT_TRUE(waitUntil([&] { return QFileInfo(marker).size() > 0; }, 10000)) << "nothing was relaunched";
        EXPECT_FALSE(QFileInfo::exists(work));
        return readAll(marker);
    }

    QString apps;
    QString installed;
    QString work;
};

TEST_F(SwapHelperRun, ExchangesTheBundlesAndRelaunchesTheNewOne)
{
    EXPECT_EQ(swap(), "1.1\n");
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.1"));
    EXPECT_TRUE(BundleSignature::isValid(installed, key.publicKey));
    EXPECT_EQ(entriesOf(apps), QStringList{QStringLiteral("Inkveil.app")});
}

TEST_F(SwapHelperRun, ABundleChangedWhileWaitingIsNotInstalled)
{
    writeFile(work + QStringLiteral("/Inkveil.app/usr/bin/inkveil"), "changed after the check",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(swap(), "1.0\n");
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
}

// Killed at any moment, the installed name holds one whole, signed bundle.
TEST_F(SwapHelperRun, AKilledSwapLeavesTheOldOrTheNewBundleWhole)
{
    endProgram();
    for (const int delay : {0, 20, 40, 80, 160, 320}) {
        SCOPED_TRACE(delay);
        QProcess helper;
        startHelper(helper);
        QThread::msleep(delay);
        ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
        helper.waitForFinished();
        EXPECT_TRUE(BundleSignature::isValid(installed, key.publicKey));
        const QString version = bundleVersion(installed);
        EXPECT_TRUE(version == QStringLiteral("1.0") || version == QStringLiteral("1.1")) << version.toStdString();
        if (!QFileInfo::exists(work + QStringLiteral("/Inkveil.app"))) {
            // Swapped: start over with the old one waiting.
            BundleSwap::removeTree(QFile::encodeName(work));
            ASSERT_TRUE(QDir().mkpath(work));
            ::chmod(QFile::encodeName(work).constData(), 0700);
            signedBundle(work, version == QStringLiteral("1.0") ? QStringLiteral("1.1") : QStringLiteral("1.0"));
        }
    }
}

TEST_F(SwapHelperRun, WithoutExchangeTwoRenamesPutTheOldBundleBackOnFailure)
{
    const QByteArray destination = QFile::encodeName(installed);
    const QByteArray folder = QFile::encodeName(work);
    EXPECT_FALSE(BundleSwap::swapFolders(destination, folder, "Missing.app", BundleSwap::Method::renames));
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.0"));
    EXPECT_TRUE(BundleSwap::swapFolders(destination, folder, "Inkveil.app", BundleSwap::Method::renames));
    EXPECT_EQ(bundleVersion(installed), QStringLiteral("1.1"));
    EXPECT_EQ(bundleVersion(work + QStringLiteral("/.previous")), QStringLiteral("1.0"));
}

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
    // The tool publishes nothing that the program would refuse.
    EXPECT_EQ(publish(QStringLiteral("http://127.0.0.1/Inkveil-1.1.zip")).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(pathArg("out")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), pathArg("prefix/hostname")));
    EXPECT_EQ(publish(server.url("/Inkveil-1.1.zip").toString()).exitCode, 1);
    EXPECT_EQ(entriesOf(pathArg("out")), QStringList{});
    QFile::remove(pathArg("prefix/hostname"));
    const ProcessResult made = publish(server.url("/Inkveil-1.1.zip").toString());
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    server.answer("/latest.json", {200, readAll(pathArg("out/latest.json"))});
    server.answer("/Inkveil-1.1.zip", {200, readAll(pathArg("out/Inkveil-1.1.zip"))});

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKVEIL_PROBE_REPORT"), pathArg("report"));
    env.insert(QStringLiteral("INKVEIL_PROBE_MANIFEST"), server.url("/latest.json").toString());
    env.insert(QStringLiteral("INKVEIL_PROBE_AUTHORITY"), testTls().authorityFile);
    env.insert(QStringLiteral("INKVEIL_PROBE_KEY"), QString::fromUtf8(readAll(pathArg("release.pub")).trimmed()));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const QString bundle = pathArg("My Apps/Inkveil.app");
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(bundle + QStringLiteral("/AppRun"), {});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return program.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    // The relaunched program checks again and finds itself up to date.
    const QByteArray expected = "started 1.0\noffer 1.1\ninstalled\nstarted 1.1\nno update\n";
    EXPECT_TRUE(waitUntil([&] { return readAll(pathArg("report")) == expected; }, 60000))
        << readAll(pathArg("report")).constData();
    EXPECT_EQ(bundleVersion(bundle), QStringLiteral("1.1"));
    EXPECT_EQ(entriesOf(pathArg("My Apps")), QStringList{QStringLiteral("Inkveil.app")});
    EXPECT_EQ(server.requests(), 3);
}

} // namespace
