#include "core/updater.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace inkveil::Updater {
namespace {

// Nd, Nl and No: digits of every script, Roman numerals, fractions, superscripts.
bool isNumeric(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

bool isNumericPiece(const QString& piece)
{
    if (piece.isEmpty())
        return false;
    const QList<uint> codePoints = piece.toUcs4();
    return std::all_of(codePoints.begin(), codePoints.end(), [](uint c) { return isNumeric(char32_t(c)); });
}

// Only the ASCII digits convert, and only up to the largest signed 64-bit value.
std::optional<std::int64_t> asciiDecimal(const QString& piece)
{
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (const QChar ch : piece) {
        if (ch < u'0' || ch > u'9')
            return std::nullopt;
        const int digit = ch.unicode() - u'0';
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// The numbers of a version; nothing when a piece is empty or not numeric.
// Pieces that are numeric but do not convert are dropped.
std::optional<std::vector<std::int64_t>> components(const QString& version)
{
    const QStringList pieces = version.split(u'.', Qt::KeepEmptyParts);
    if (pieces.isEmpty() || !std::all_of(pieces.begin(), pieces.end(), isNumericPiece))
        return std::nullopt;
    std::vector<std::int64_t> values;
    for (const QString& piece : pieces) {
        if (const auto value = asciiDecimal(piece))
            values.push_back(*value);
    }
    return values;
}

// The scheme is compared as written: QUrl would fold "HTTPS" to "https".
std::optional<QUrl> httpsAddress(const QString& text)
{
    if (!text.startsWith(QStringLiteral("https:")))
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QStringLiteral("https") || url.host().isEmpty())
        return std::nullopt;
    return url;
}

std::optional<UpdateInfo> offerIn(QNetworkReply& reply, const QString& currentVersion)
{
    if (reply.error() != QNetworkReply::NoError)
        return std::nullopt;
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() != 200)
        return std::nullopt;
    const QByteArray body = reply.read(kMaxManifestBytes + 1);
    if (body.size() > kMaxManifestBytes)
        return std::nullopt;
    return readManifest(body, currentVersion);
}

} // namespace

QFuture<std::optional<UpdateInfo>> check(const QUrl& manifest, const QString& currentVersion,
                                         QNetworkAccessManager& network, std::chrono::milliseconds timeout)
{
    auto promise = std::make_shared<QPromise<std::optional<UpdateInfo>>>();
    promise->start();
    QFuture<std::optional<UpdateInfo>> future = promise->future();

    QNetworkRequest request(manifest);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply* reply = network.get(request);

    // A reply destroyed before it finished (its manager went away) settles the
    // future with nothing rather than leaving it pending.
    auto settle = [promise, settled = std::make_shared<bool>(false)](std::optional<UpdateInfo> offer) {
        if (std::exchange(*settled, true))
            return;
        promise->addResult(std::move(offer));
        promise->finish();
    };
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxManifestBytes || total > kMaxManifestBytes)
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, settle, currentVersion] {
        settle(offerIn(*reply, currentVersion));
        reply->deleteLater();
    });
    QObject::connect(reply, &QObject::destroyed, [settle] { settle(std::nullopt); });
    return future;
}

std::optional<UpdateInfo> readManifest(const QByteArray& body, const QString& currentVersion)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue version = object.value(QStringLiteral("version"));
    if (!version.isString())
        return std::nullopt;
    const QJsonValue url = object.value(QStringLiteral("url"));
    if (!url.isString())
        return std::nullopt;
    const std::optional<QUrl> address = httpsAddress(url.toString());
    if (!address)
        return std::nullopt;
    if (!isNewer(version.toString(), currentVersion))
        return std::nullopt;
    const QJsonValue notes = object.value(QStringLiteral("notes"));
    return UpdateInfo{version.toString(), *address, notes.isString() ? notes.toString() : QString()};
}

bool isNewer(const QString& candidate, const QString& current)
{
    const auto ours = components(candidate);
    const auto theirs = components(current);
    if (!ours || !theirs)
        return false;
    const std::size_t places = std::max(ours->size(), theirs->size());
    for (std::size_t i = 0; i < places; ++i) {
        const std::int64_t a = i < ours->size() ? (*ours)[i] : 0;
        const std::int64_t b = i < theirs->size() ? (*theirs)[i] : 0;
        if (a != b)
            return a > b;
    }
    return false;
}

} // namespace inkveil::Updater
