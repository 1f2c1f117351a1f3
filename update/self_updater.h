#pragma once

#include "update/update_error.h"
#include "update/update_info.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <chrono>

class QNetworkAccessManager;

// Replaces the installed bundle with the one an UpdateInfo names.
namespace inkveil::SelfUpdater {

// What an installation replaces, what it trusts and who swaps.
struct Installation {
    QByteArray destination; // the installed bundle, as the file system spells it; empty when not run from one
    QString identifier;     // the running application's; the new bundle must match
    qint64 processId = 0;   // the swap waits for this process to end
    QByteArray trustedKey;  // Ed25519 public key the new bundle must be signed with
    // Started with BundleSwap's arguments to swap once processId has ended;
    // its main() hands them to BundleSwap::runIfAsked. This program by default.
    QByteArray swapHelper = QByteArrayLiteral("/proc/self/exe");
    qint64 maxArchiveBytes = qint64(1) << 30;
    std::chrono::milliseconds stallTimeout{10'000};

    // This process: its bundle, its pid and the release key compiled in.
    static Installation current();
};

// Checks that the destination can be replaced safely, downloads the offer's
// archive into a private work folder beside the destination (on the same
// file system), unpacks it, checks the bundle's signature and identity and
// starts the swap helper, which waits for installation.processId to end.
// Quitting is the caller's: do it in the future's continuation. The transfer
// runs through `network` (which must live on the calling thread), the rest on
// a worker thread. The work folder is removed whenever the installation
// fails; after success the helper removes it. Fails with UpdateFailure, or
// with TransferError or FileError passed on.
QFuture<void> install(const UpdateInfo& offer, QNetworkAccessManager& network,
                      const Installation& installation = Installation::current());

// readOnlyLocation, with a reason, when there is no destination, it lies on a
// read-only file system or in the system's own folders, or its parent folder
// is not writable; unsafeLocation when another user could change the
// destination or its parent folder, or its path is not valid text.
void checkLocation(const QByteArray& destination);

// badSignature unless the bundle is signed with trustedKey and unchanged since.
void verifySignature(const QString& bundle, const QByteArray& trustedKey);

// wrongApp unless the bundle's identifier equals runningIdentifier and its
// version equals expectedVersion, both exactly.
void verifyIdentity(const QString& bundle, const QString& expectedVersion, const QString& runningIdentifier);

// Work folders are "<parent>/.<name>.update-<pid>-<random>" beside the destination.
QByteArray workFolderPrefix(const QByteArray& destination);

} // namespace inkveil::SelfUpdater
