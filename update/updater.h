#pragma once

#include "update/update_info.h"

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// The update manifest check. It never fails: a failure reads as "no update",
// or, when the server answered with something the release key does not vouch
// for, as an unverified answer.
namespace inkveil::Updater {

inline constexpr std::chrono::milliseconds kTransferTimeout{10'000};
// A manifest is a few hundred bytes; anything far larger is not one.
inline constexpr qint64 kMaxManifestBytes = 1 << 20;

// What one check found.
struct CheckResult {
    std::optional<UpdateInfo> offer; // a verified, newer version
    // The server answered, but not with an unexpired manifest signed by the
    // release key: someone may be holding updates back.
    bool unverified = false;

    friend bool operator==(const CheckResult&, const CheckResult&) = default;
};

// What the release tool publishes: the manifest's fields before signing.
struct Manifest {
    QString version;
    QString url;
    QString notes;
    QDateTime expires; // UTC, whole seconds
};

// Fetches the manifest with a plain GET that never answers from a cache and
// gives up when the transfer stalls for `timeout`. A transport failure (no
// network, no TLS, time-out) is neither an offer nor unverified. `network`
// must live on the calling thread; the future finishes on that thread.
QFuture<CheckResult> check(const QUrl& manifest, const QString& currentVersion, const QByteArray& publicKey,
                           QNetworkAccessManager& network, std::chrono::milliseconds timeout = kTransferTimeout);

// The offer a manifest body makes to a program at currentVersion, if any.
// Unverified unless the body is a JSON object whose "signature" verifies with
// publicKey over its version, url, notes and expiry, and it expires after `now`.
CheckResult readManifest(const QByteArray& body, const QString& currentVersion, const QByteArray& publicKey,
                         const QDateTime& now = QDateTime::currentDateTimeUtc());

// The manifest as JSON, signed with secretKey.
QByteArray writeManifest(const Manifest& manifest, const QByteArray& secretKey);

// True only when both are dot-separated runs of numeric characters and
// candidate orders strictly above current, component by component.
bool isNewer(const QString& candidate, const QString& current);

} // namespace inkveil::Updater
