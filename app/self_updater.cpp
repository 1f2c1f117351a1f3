#include "app/self_updater.h"

#include "app/app_bundle.h"
#include "app/archive_download.h"
#include "app/bundle_signature.h"
#include "app/private_files.h"
#include "app/swap_script.h"
#include "app/update_archive.h"
#include "core/build_settings.h"
#include "core/errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <sys/statvfs.h>
#include <unistd.h>

namespace inkveil::SelfUpdater {
namespace {

// The first top-level entry named "<something>.app", in byte order of names.
QString findNewApp(const QString& unpacked)
{
    QStringList names = QDir(unpacked).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                 QDir::Unsorted);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    const auto found = std::find_if(names.begin(), names.end(), [](const QString& name) {
        const qsizetype dot = name.lastIndexOf(u'.');
        return dot > 0 && QStringView(name).mid(dot + 1) == u"app";
    });
    if (found == names.end())
        throw UpdateFailure(UpdateError::notFound);
    return unpacked + u'/' + *found;
}

void installDownloaded(const UpdateInfo& offer, const Installation& installation, const QString& work)
{
    const QString downloaded = work + QStringLiteral("/download.part");
    const QString archive = work + QStringLiteral("/update.zip");
    if (::rename(QFile::encodeName(downloaded).constData(), QFile::encodeName(archive).constData()) != 0)
        throw FileError::fromErrno(archive, errno);
    const QString unpacked = work + QStringLiteral("/unpacked");
    UpdateArchive::unpack(archive, unpacked);
    const QString newApp = findNewApp(unpacked);
    verifySignature(newApp, installation.trustedKey);
    verifyIdentity(newApp, offer.version, installation.identifier);
    SwapScript::start(installation.temporaryFolder, installation.processId, newApp, installation.destination);
}

} // namespace

Installation Installation::current()
{
    Installation installation;
    if (const auto bundle = runningAppBundle()) {
        installation.destination = bundle->path;
        installation.identifier = bundle->identifier;
    }
    installation.processId = QCoreApplication::applicationPid();
    installation.temporaryFolder = QDir::tempPath();
    installation.trustedKey = BuildSettings::releasePublicKey();
    return installation;
}

QString workFolder(const Installation& installation)
{
    return installation.temporaryFolder + QStringLiteral("/mervo-update-%1").arg(installation.processId);
}

void checkLocation(const QString& destination)
{
    if (destination.isEmpty())
        throw UpdateFailure(UpdateError::readOnlyLocation);
    const QByteArray native = QFile::encodeName(destination);
    struct statvfs volume {};
    if (::statvfs(native.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        throw UpdateFailure(UpdateError::readOnlyLocation);
    const QByteArray parent = QFile::encodeName(QFileInfo(destination).absolutePath());
    if (::access(parent.constData(), W_OK) != 0)
        throw UpdateFailure(UpdateError::readOnlyLocation);
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
        const QString work = workFolder(installation);
        PrivateFiles::makeFreshFolder(work);
        return downloadArchive(network, offer.downloadURL, work + QStringLiteral("/download.part"),
                               installation.maxArchiveBytes, installation.stallTimeout)
            .then(QtFuture::Launch::Async, [offer, installation, work] { installDownloaded(offer, installation, work); });
    } catch (...) {
        return QtFuture::makeExceptionalFuture(std::current_exception());
    }
}

} // namespace inkveil::SelfUpdater
