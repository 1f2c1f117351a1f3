#include "update/updater.h"

#include "update/release_key.h"

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

// A function, not a global: manifests may be written during static initialisation.
QString expiresFormat()
{
    return QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'");
}

// The text a manifest's signature covers; each value percent-encoded so that
// no value can pass for a line break or another field.
QByteArray signedText(const QString& version, const QString& url, const QString& notes, const QString& expires)
{
    QByteArray text = "inkveil-manifest 1\n";
    const std::pair<const char*, const QString*> fields[] = {
        {"version", &version}, {"url", &url}, {"notes", &notes}, {"expires", &expires}};
    for (const auto& [name, value] : fields)
        text += QByteArray(name) + ' ' + value->toUtf8().toPercentEncoding() + '\n';
    return text;
}

CheckResult resultOf(QNetworkReply& reply, const QString& currentVersion, const QByteArray& publicKey)
{
    // No answer at all reads as the absence of an update; an answer that is
    // not a verified manifest does not.
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return {};
    if (status.toInt() != 200 || reply.error() != QNetworkReply::NoError)
        return {std::nullopt, true};
    const QByteArray body = reply.read(kMaxManifestBytes + 1);
    if (body.size() > kMaxManifestBytes)
        return {std::nullopt, true};
    return readManifest(body, currentVersion, publicKey);
}

} // namespace

QFuture<CheckResult> check(const QUrl& manifest, const QString& currentVersion, const QByteArray& publicKey,
                           QNetworkAccessManager& network, std::chrono::milliseconds timeout)
{
    auto promise = std::make_shared<QPromise<CheckResult>>();
    promise->start();
    QFuture<CheckResult> future = promise->future();

    QNetworkRequest request(manifest);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply* reply = network.get(request);

    // A reply destroyed before it finished (its manager went away) settles the
    // future with nothing rather than leaving it pending.
    auto settle = [promise, settled = std::make_shared<bool>(false)](CheckResult result) {
        if (std::exchange(*settled, true))
            return;
        promise->addResult(std::move(result));
        promise->finish();
    };
    auto oversized = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, oversized](qint64 received, qint64 total) {
        if (received > kMaxManifestBytes || total > kMaxManifestBytes) {
            *oversized = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, settle, currentVersion, publicKey, oversized] {
        settle(*oversized ? CheckResult{std::nullopt, true} : resultOf(*reply, currentVersion, publicKey));
        reply->deleteLater();
    });
    QObject::connect(reply, &QObject::destroyed, [settle] { settle({}); });
    return future;
}

CheckResult readManifest(const QByteArray& body, const QString& currentVersion, const QByteArray& publicKey,
                         const QDateTime& now)
{
    const CheckResult unverified{std::nullopt, true};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return unverified;
    const QJsonObject object = document.object();
    const QJsonValue version = object.value(QStringLiteral("version"));
    const QJsonValue url = object.value(QStringLiteral("url"));
    const QJsonValue expires = object.value(QStringLiteral("expires"));
    const QJsonValue signature = object.value(QStringLiteral("signature"));
    if (!version.isString() || !url.isString() || !expires.isString() || !signature.isString())
        return unverified;
    const QJsonValue notesValue = object.value(QStringLiteral("notes"));
    const QString notes = notesValue.isString() ? notesValue.toString() : QString();
    const QByteArray text = signedText(version.toString(), url.toString(), notes, expires.toString());
    if (!ReleaseKey::verify(text, QByteArray::fromHex(signature.toString().toLatin1()), publicKey))
        return unverified;
    QDateTime expiry = QDateTime::fromString(expires.toString(), expiresFormat());
    expiry.setTimeSpec(Qt::UTC);
    if (!expiry.isValid() || expiry <= now)
        return unverified;

    // Signed but unusable: the release tool never publishes these.
    const std::optional<QUrl> address = httpsAddress(url.toString());
    if (!address)
        return unverified;
    if (!isNewer(version.toString(), currentVersion))
        return {};
    return {UpdateInfo{version.toString(), *address, notes}, false};
}

QByteArray writeManifest(const Manifest& manifest, const QByteArray& secretKey)
{
    const QString expires = manifest.expires.toUTC().toString(expiresFormat());
    const QByteArray signature =
        ReleaseKey::sign(signedText(manifest.version, manifest.url, manifest.notes, expires), secretKey);
    const QJsonObject object{{QStringLiteral("version"), manifest.version},
                             {QStringLiteral("url"), manifest.url},
                             {QStringLiteral("notes"), manifest.notes},
                             {QStringLiteral("expires"), expires},
                             {QStringLiteral("signature"), QString::fromLatin1(signature.toHex())}};
    return QJsonDocument(object).toJson();
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
