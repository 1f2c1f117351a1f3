#pragma once

#include "core/update_info.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;

// The update manifest check. It never fails: every failure reads as "no update".
namespace inkveil::Updater {

inline constexpr std::chrono::milliseconds kTransferTimeout{10'000};
// A manifest is a few hundred bytes; anything far larger is not one.
inline constexpr qint64 kMaxManifestBytes = 1 << 20;

// Fetches the manifest with a plain GET that never answers from a cache and
// gives up when the transfer stalls for `timeout`. The future yields the offer
// when the manifest is valid and names a version newer than currentVersion,
// nothing otherwise. `network` must live on the calling thread; the transfer
// runs in its background and the future finishes on that thread.
QFuture<std::optional<UpdateInfo>> check(const QUrl& manifest, const QString& currentVersion,
                                         QNetworkAccessManager& network,
                                         std::chrono::milliseconds timeout = kTransferTimeout);

// The offer a manifest body makes to a program at currentVersion, if any.
std::optional<UpdateInfo> readManifest(const QByteArray& body, const QString& currentVersion);

// True only when both are dot-separated runs of numeric characters and
// candidate orders strictly above current, component by component.
bool isNewer(const QString& candidate, const QString& current);

} // namespace inkveil::Updater
