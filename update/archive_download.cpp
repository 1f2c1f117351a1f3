#include "update/archive_download.h"

#include "update/update_error.h"
#include "core/errors.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTimer>

#include <exception>
#include <memory>

namespace inkveil::SelfUpdater {
namespace {

struct Transfer {
    QPromise<void> promise;
    QFile file;
    qint64 received = 0;
    std::exception_ptr failure; // set when we stopped the transfer ourselves
    bool settled = false;

    void settle(std::exception_ptr error)
    {
        if (settled)
            return;
        settled = true;
        if (error)
            promise.setException(error);
        promise.finish();
    }
};

bool refused(const QNetworkReply& reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() && status.toInt() != 200;
}

} // namespace

QFuture<void> downloadArchive(QNetworkAccessManager& network, const QUrl& url, const QString& file, qint64 maxBytes,
                              std::chrono::milliseconds stallTimeout)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->promise.start();
    QFuture<void> future = transfer->promise.future();
    transfer->file.setFileName(file);
    if (!transfer->file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        transfer->settle(std::make_exception_ptr(FileError(file, transfer->file.errorString())));
        return future;
    }

    QNetworkReply* reply = network.get(QNetworkRequest(url));
    auto* stall = new QTimer(reply);
    stall->setSingleShot(true);
    stall->setInterval(stallTimeout);

    const auto stop = [transfer, reply](std::exception_ptr why) {
        if (!transfer->failure)
            transfer->failure = why;
        reply->abort();
    };
    const auto downloadFailure = std::make_exception_ptr(UpdateFailure(UpdateError::download));

    QObject::connect(stall, &QTimer::timeout, reply, [stop, downloadFailure] { stop(downloadFailure); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, stop, downloadFailure, maxBytes] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (refused(*reply) || (length.isValid() && length.toLongLong() > maxBytes))
            stop(downloadFailure);
    });
    const auto consume = [transfer, reply, stop, downloadFailure, maxBytes] {
        const QByteArray block = reply->readAll();
        transfer->received += block.size();
        if (transfer->received > maxBytes)
            return stop(downloadFailure);
        if (transfer->file.write(block) != block.size())
            stop(std::make_exception_ptr(FileError(transfer->file.fileName(), transfer->file.errorString())));
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [stall, consume] {
        stall->start();
        consume();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [transfer, reply, stall, consume] {
        stall->stop();
        reply->deleteLater();
        if (!transfer->failure && reply->bytesAvailable() > 0)
            consume();
        std::exception_ptr error = transfer->failure;
        if (!error && refused(*reply))
            error = std::make_exception_ptr(UpdateFailure(UpdateError::download));
        else if (!error && reply->error() != QNetworkReply::NoError)
            error = std::make_exception_ptr(TransferError(reply->errorString()));
        if (!error && !transfer->file.flush())
            error = std::make_exception_ptr(FileError(transfer->file.fileName(), transfer->file.errorString()));
        transfer->file.close();
        transfer->settle(error);
    });
    QObject::connect(reply, &QObject::destroyed, [transfer] {
        transfer->settle(std::make_exception_ptr(TransferError(QStringLiteral("The download was cancelled."))));
    });
    stall->start();
    return future;
}

} // namespace inkveil::SelfUpdater
