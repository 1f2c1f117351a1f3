#pragma once

#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;

namespace inkveil::SelfUpdater {

// Streams a GET of `url` into the new file `file` (only the user may read it).
// Fails with UpdateFailure(download) for an answer other than 200, a body
// larger than maxBytes, or no progress for stallTimeout; with TransferError
// for any other transfer failure; with FileError when the file cannot be
// written. `network` must live on the calling thread, where the future
// finishes.
QFuture<void> downloadArchive(QNetworkAccessManager& network, const QUrl& url, const QString& file, qint64 maxBytes,
                              std::chrono::milliseconds stallTimeout);

} // namespace inkveil::SelfUpdater
