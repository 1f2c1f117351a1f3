#pragma once

#include "app/update_error.h"
#include "core/update_info.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

#include <chrono>

class QNetworkAccessManager;

// Replaces the installed bundle with the one an UpdateInfo names.
namespace inkveil::SelfUpdater {

// What an installation replaces, where it works and what it trusts.
struct Installation {
    QString destination;     // the installed bundle; empty when not run from one
    QString identifier;      // the running application's; the new bundle must match
    qint64 processId = 0;    // the swap script waits for this process to end
    QString temporaryFolder; // holds the work folder and the swap script
    QByteArray trustedKey;   // Ed25519 public key the new bundle must be signed with
    qint64 maxArchiveBytes = qint64(1) << 30;
    std::chrono::milliseconds stallTimeout{10'000};

    // This process: its bundle, its pid, the user's temporary folder and the
    // release key compiled into the program.
    static Installation current();
};

// Checks that the destination can be replaced, downloads the offer's archive
// into a private work folder, unpacks it, takes its first top-level "*.app"
// folder, checks its signature and identity, and starts the swap script that
// waits for installation.processId to end. Quitting is the caller's: do it in
// the future's continuation, e.g. install(…).then(model, quit). The transfer
// runs through `network` (which must live on the calling thread), the rest on
// a worker thread; continue with a context object to come back to a thread.
// Fails with UpdateFailure, or with TransferError or FileError passed on.
QFuture<void> install(const UpdateInfo& offer, QNetworkAccessManager& network,
                      const Installation& installation = Installation::current());

// readOnlyLocation when the destination's file system is mounted read-only,
// or its parent folder is not writable, or there is no destination.
void checkLocation(const QString& destination);

// badSignature unless the bundle is signed with trustedKey and unchanged since.
void verifySignature(const QString& bundle, const QByteArray& trustedKey);

// wrongApp unless the bundle's identifier equals runningIdentifier and its
// version equals expectedVersion, both exactly.
void verifyIdentity(const QString& bundle, const QString& expectedVersion, const QString& runningIdentifier);

// "<temporaryFolder>/mervo-update-<pid>".
QString workFolder(const Installation& installation);

} // namespace inkveil::SelfUpdater
