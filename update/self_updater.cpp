#include "update/self_updater.h"

#include "core/build_settings.h"
#include "core/errors.h"
#include "update/app_bundle.h"
#include "update/archive_download.h"
#include "update/bundle_signature.h"
#include "update/bundle_swap.h"
#include "update/update_archive.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QPromise>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

extern char** environ;

namespace inkveil::SelfUpdater {
namespace {

// Unpacked bundles are rarely more than a few times their archive; a
// bomb that declares gigabytes is refused before anything is written.
constexpr qint64 kMaxUnpackRatio = 8;
constexpr qint64 kMaxUnpackedBytes = qint64(4) << 30;

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// Only the user (or root) may change it: a folder that others may write to
// is allowed only when it is the user's own and not sticky, because then
// they could replace the bundle at any time anyway.
bool onlyTheUserCanChange(const struct stat& info)
{
    const uid_t user = ::geteuid();
    if (info.st_uid != user && info.st_uid != 0)
        return false;
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return info.st_uid == user && !(info.st_mode & S_ISVTX);
    return true;
}

[[noreturn]] void refuse(UpdateError error, const QString& reason)
{
    throw UpdateFailure(error, reason);
}

// Leftovers of installations whose program has ended (killed, or the
// machine went down) are removed; a running one's folder is left alone.
void removeStaleWorkFolders(const QByteArray& destination)
{
    const QByteArray prefix = workFolderPrefix(destination);
    const QByteArray parent = parentOf(destination);
    const QByteArray namePrefix = prefix.mid(parent.size() + 1);
    std::vector<QByteArray> stale;
    if (DIR* dir = ::opendir(parent.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (!name.startsWith(namePrefix))
                continue;
            const qint64 pid = name.mid(namePrefix.size()).split('-').value(0).toLongLong();
            struct stat info {};
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH
                && ::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)
                && info.st_uid == ::geteuid())
                stale.push_back(parent + '/' + name);
        }
        ::closedir(dir);
    }
    for (const QByteArray& folder : stale)
        BundleSwap::removeTree(folder);
}

QByteArray makeWorkFolder(const Installation& installation)
{
    removeStaleWorkFolders(installation.destination);
    QByteArray path = workFolderPrefix(installation.destination) + QByteArray::number(installation.processId) + "-XXXXXX";
    if (!::mkdtemp(path.data())) // mode 0700
        throw FileError::fromErrno(QFile::decodeName(path), errno);
    return path;
}

void startSwap(const Installation& installation, const QByteArray& work, const QByteArray& bundleName,
               const QString& version)
{
    BundleSwap::Request request;
    request.processId = installation.processId;
    request.workFolder = work;
    request.bundleName = bundleName;
    request.destination = installation.destination;
    request.trustedKey = installation.trustedKey;
    request.identifier = installation.identifier;
    request.version = version;
    QByteArrayList arguments = BundleSwap::arguments(request);
    arguments.prepend(installation.swapHelper);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Its own session, so that closing the program's terminal does not end it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    pid_t helper = 0;
    const int error =
        ::posix_spawn(&helper, installation.swapHelper.constData(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        throw FileError::fromErrno(QFile::decodeName(installation.swapHelper), error);
}

void prepare(const UpdateInfo& offer, const Installation& installation, const QByteArray& work)
{
    const QString archive = QFile::decodeName(work + "/update.zip");
    UpdateArchive::Limits limits;
    limits.maxUnpackedBytes = std::min(kMaxUnpackedBytes, kMaxUnpackRatio * QFileInfo(archive).size());
    const QString bundle = UpdateArchive::unpack(archive, QFile::decodeName(work), limits);
    QFile::remove(archive);
    verifySignature(bundle, installation.trustedKey);
    verifyIdentity(bundle, offer.version, installation.identifier);
    startSwap(installation, work, QFile::encodeName(QFileInfo(bundle).fileName()), offer.version);
}

// Runs prepare() on a thread of its own and settles the installation's future
// on the thread that made it, only after joining the worker: a worker still
// tearing down (its thread-local data) while the program exits right after a
// successful installation can free memory twice. Destroyed early (its parent
// went away), it still joins and settles.
class InstallJob : public QObject {
public:
    InstallJob(QObject* parent, std::shared_ptr<QPromise<void>> promise, std::function<void()> work)
        : QObject(parent), m_promise(std::move(promise))
    {
        m_thread = std::thread([this, work = std::move(work)] {
            try {
                work();
            } catch (...) {
                m_failure = std::current_exception();
            }
            QMetaObject::invokeMethod(this, [this] { delete this; }, Qt::QueuedConnection);
        });
    }

    ~InstallJob() override
    {
        m_thread.join();
        if (m_failure)
            m_promise->setException(m_failure);
        m_promise->finish();
    }

private:
    std::shared_ptr<QPromise<void>> m_promise;
    std::exception_ptr m_failure; // written by the worker, read after joining it
    std::thread m_thread;
};

} // namespace

Installation Installation::current()
{
    Installation installation;
    if (const auto bundle = runningAppBundle()) {
        installation.destination = bundle->nativePath;
        installation.identifier = bundle->identifier;
    }
    installation.processId = QCoreApplication::applicationPid();
    installation.trustedKey = BuildSettings::releasePublicKey();
    return installation;
}

QByteArray workFolderPrefix(const QByteArray& destination)
{
    const qsizetype slash = destination.lastIndexOf('/');
    return parentOf(destination) + "/." + destination.mid(slash + 1) + ".update-";
}

void checkLocation(const QByteArray& destination)
{
    if (destination.isEmpty())
        refuse(UpdateError::readOnlyLocation, QStringLiteral("Inkveil is not running from an application folder."));
    const QString shown = QFile::decodeName(destination);
    if (!isTextPath(destination))
        refuse(UpdateError::unsafeLocation,
               QStringLiteral("The name of the folder that holds Inkveil is not valid text. Rename it, then try again."));
    if (destination.startsWith("/usr/"))
        refuse(UpdateError::readOnlyLocation,
               QStringLiteral("Inkveil in %1 belongs to the system. Update it with the system's software tools.")
                   .arg(shown));
    struct statvfs volume {};
    if (::statvfs(destination.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        refuse(UpdateError::readOnlyLocation, QStringLiteral("%1 is on a read-only disk.").arg(shown));

    const QByteArray parent = parentOf(destination);
    struct stat bundle {};
    struct stat folder {};
    if (::lstat(destination.constData(), &bundle) != 0 || !S_ISDIR(bundle.st_mode))
        refuse(UpdateError::readOnlyLocation, QStringLiteral("%1 is not a folder.").arg(shown));
    if (::stat(parent.constData(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        refuse(UpdateError::readOnlyLocation,
               QStringLiteral("%1 cannot be read.").arg(QFile::decodeName(parent)));
    for (const auto& [info, path] : {std::pair{&bundle, destination}, std::pair{&folder, parent}}) {
        if (!onlyTheUserCanChange(*info))
            refuse(UpdateError::unsafeLocation,
                   QStringLiteral("Other users can change %1. Move Inkveil to a folder that only you can change, "
                                  "then try again.")
                       .arg(QFile::decodeName(path)));
    }
    if (::access(parent.constData(), W_OK) != 0)
        refuse(UpdateError::readOnlyLocation,
               QStringLiteral("You cannot change the folder %1.").arg(QFile::decodeName(parent)));
}

void verifySignature(const QString& bundle, const QByteArray& trustedKey)
{
    if (!BundleSignature::isValid(bundle, trustedKey))
        throw UpdateFailure(UpdateError::badSignature);
}

void verifyIdentity(const QString& bundle, const QString& expectedVersion, const QString& runningIdentifier)
{
    const auto identity = readAppBundle(bundle);
    if (!identity || !identity->version || runningIdentifier.isEmpty() || identity->identifier != runningIdentifier
        || *identity->version != expectedVersion)
        throw UpdateFailure(UpdateError::wrongApp);
}

QFuture<void> install(const UpdateInfo& offer, QNetworkAccessManager& network, const Installation& installation)
{
    try {
        checkLocation(installation.destination);
        // A build without a release key never offers updates; nothing could pass.
        if (installation.trustedKey.isEmpty())
            throw UpdateFailure(UpdateError::badSignature);
        const QByteArray work = makeWorkFolder(installation);
        auto promise = std::make_shared<QPromise<void>>();
        promise->start();
        QPointer<QNetworkAccessManager> context(&network);
        downloadArchive(network, offer.downloadURL, QFile::decodeName(work + "/update.zip"),
                        installation.maxArchiveBytes, installation.stallTimeout)
            .then([=](QFuture<void> downloaded) {
                try {
                    downloaded.waitForFinished(); // passes the download's failure on
                    if (!context)
                        throw TransferError(QStringLiteral("The download was cancelled."));
                } catch (...) {
                    BundleSwap::removeTree(work);
                    promise->setException(std::current_exception());
                    promise->finish();
                    return;
                }
                new InstallJob(context, promise, [=] {
                    try {
                        prepare(offer, installation, work);
                    } catch (...) {
                        BundleSwap::removeTree(work);
                        throw;
                    }
                });
            });
        return promise->future();
    } catch (...) {
        return QtFuture::makeExceptionalFuture(std::current_exception());
    }
}

} // namespace inkveil::SelfUpdater
