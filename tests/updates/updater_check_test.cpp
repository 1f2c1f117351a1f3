#include "update/release_key.h"
#include "update/updater.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_https.h"

#include <QNetworkProxy>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace inkveil;
using namespace inkveil::test;

namespace inkveil::Updater {
void PrintTo(const CheckResult& result, std::ostream* out)
{
    if (result.offer)
        *out << "offer " << result.offer->version.toStdString() << ' ' << result.offer->downloadURL.toString().toStdString();
    else
        *out << "no offer";
    *out << (result.unverified ? ", unverified" : "");
}
} // namespace inkveil::Updater

namespace {

const ReleaseKey::KeyPair kKey = ReleaseKey::generate();
const QDateTime kNow = QDateTime::currentDateTimeUtc();
const QDateTime kNextWeek = QDateTime::fromSecsSinceEpoch(kNow.toSecsSinceEpoch() + 7 * 86400, Qt::UTC);

QByteArray signedManifest(const QString& version, const QString& url, const QDateTime& expires = kNextWeek,
                          const QByteArray& secretKey = kKey.secretKey)
{
    return Updater::writeManifest({version, url, QStringLiteral("Faster"), expires}, secretKey);
}

const QString kArchive = QStringLiteral("https://updates.mervo.example/Inkveil-2.1.0.zip");
const QByteArray kValid = signedManifest(QStringLiteral("2.1.0"), kArchive);
const UpdateInfo kValidOffer{QStringLiteral("2.1.0"), QUrl(kArchive), QStringLiteral("Faster")};
const Updater::CheckResult kNothing{};
const Updater::CheckResult kUnverified{std::nullopt, true};

TEST(VersionOrder, ComparesNumericComponentsAndNothingElse)
{
    const std::tuple<const char*, const char*, bool> orders[] = {
        {"1.10", "1.9", true},
        {"2", "1.9.9", true},
        {"1.2.0", "1.2", false},
        {"1.02", "1.2", false},
        {"1.1", "1.2", false},
        {"1.2.3.0.1", "1.2.3", true},
        {"1.2.0-beta", "1.1", false},
        {"1.3", "Development", false},
        {"", "1", false},
        {"1..2", "1", false},
        {"1.2.", "1.1", false},
        {" 2", "1", false},
        {"+2", "1", false},
        // Numeric but not ASCII digits, or too large for 64 bits: the piece
        // is dropped and the pieces after it move up.
        {"1.\u0663.5", "1.4", true},
        {"1.\u00bd.5", "1.4", true},
        {"1.x.5", "1.4", false},
        {"1.99999999999999999999.5", "1.4", true},
        {"1.9223372036854775807", "1.9223372036854775806", true},
    };
    for (const auto& [candidate, current, newer] : orders)
        EXPECT_EQ(Updater::isNewer(QString::fromUtf8(candidate), QString::fromUtf8(current)), newer)
            << candidate << " vs " << current;
}

TEST(ManifestRules, OfferOnlyVerifiedUnexpiredNewerVersions)
{
    const auto read = [](const QByteArray& body) {
        return Updater::readManifest(body, QStringLiteral("2.0"), kKey.publicKey);
    };
    EXPECT_EQ(read(kValid), (Updater::CheckResult{kValidOffer, false}));
    EXPECT_EQ(read(signedManifest(QStringLiteral("2.0"), QStringLiteral("https://h/a.zip"))), kNothing);

    QByteArray numericNotes = kValid;
    numericNotes.replace("\"Faster\"", "4");
    QByteArray otherVersion = kValid;
    otherVersion.replace("2.1.0", "9.1.0");
    const QDateTime yesterday = QDateTime::fromSecsSinceEpoch(kNow.toSecsSinceEpoch() - 86400, Qt::UTC);
    const std::pair<const char*, QByteArray> refused[] = {
        {"unsigned", R"({"version":"2.1","url":"https://h/a.zip"})"},
        {"expired", signedManifest(QStringLiteral("2.1"), QStringLiteral("https://h/a.zip"), yesterday)},
        {"foreign key", signedManifest(QStringLiteral("2.1"), QStringLiteral("https://h/a.zip"), kNextWeek,
                                       ReleaseKey::generate().secretKey)},
        {"altered after signing", otherVersion},
        {"notes no longer signed", numericNotes},
        {"signed http", signedManifest(QStringLiteral("2.1"), QStringLiteral("http://h/a.zip"))},
        {"signed HTTPS", signedManifest(QStringLiteral("2.1"), QStringLiteral("HTTPS://h/a.zip"))},
        {"signed without host", signedManifest(QStringLiteral("2.1"), QStringLiteral("https:///a.zip"))},
        {"array", "[" + kValid + "]"},
        {"not JSON", "version: 2.1"},
    };
    for (const auto& [name, body] : refused)
        EXPECT_EQ(read(body), kUnverified) << name;
    // A build without a release key trusts nothing.
    EXPECT_EQ(Updater::readManifest(kValid, QStringLiteral("2.0"), QByteArray()), kUnverified);
}

// A manifest served over local HTTPS, checked as the program does.
class ManifestCheck : public ::testing::Test {
protected:
    Updater::CheckResult check(QNetworkAccessManager& via, const QUrl& url,
                               std::chrono::milliseconds timeout = Updater::kTransferTimeout)
    {
        auto future = Updater::check(url, QStringLiteral("2.0"), kKey.publicKey, via, timeout);
        EXPECT_TRUE(waitUntil([&] { return future.isFinished(); }));
        return future.isFinished() ? future.result() : Updater::CheckResult{};
    }

    HttpsServer server;
    TrustingNetwork network{{testTls().authority}};
};

// An answer that is not a verified manifest is unverified; no answer at all is
// no update.
TEST_F(ManifestCheck, BadAnswersAreUnverifiedAndSilenceIsNoUpdate)
{
    QByteArray huge = kValid;
    huge.insert(1, R"("padding": ")" + QByteArray(Updater::kMaxManifestBytes, 'x') + R"(",)");
    using std::chrono::milliseconds;
    const std::tuple<Answer, milliseconds, Updater::CheckResult> answers[] = {
        {{200, kValid}, Updater::kTransferTimeout, {kValidOffer, false}},
        {{404, kValid}, Updater::kTransferTimeout, kUnverified},
        {{304, {}}, Updater::kTransferTimeout, kUnverified},
        {{200, kValid, Answer::Mode::stall}, milliseconds(300), kUnverified},
        {{200, huge, Answer::Mode::unbounded}, Updater::kTransferTimeout, kUnverified},
        {{200, kValid, Answer::Mode::silent}, milliseconds(300), kNothing},
    };
    for (const auto& [answer, timeout, expected] : answers) {
        server.answer("/latest.json", answer);
        EXPECT_EQ(check(network, server.url("/latest.json"), timeout), expected)
            << answer.status << " mode " << int(answer.mode);
    }
}

TEST_F(ManifestCheck, UntrustedServerOrNoServerIsNoUpdate)
{
    server.answer("/latest.json", {200, kValid});
    QNetworkAccessManager stranger; // trusts the system authorities only
    stranger.setProxy(QNetworkProxy::NoProxy);
    EXPECT_EQ(check(stranger, server.url("/latest.json")), kNothing);

    const QUrl gone = server.url("/latest.json");
    server.close();
    EXPECT_EQ(check(network, gone), kNothing);
}

TEST_F(ManifestCheck, ManagerGoneBeforeTheAnswerIsNoUpdate)
{
    server.answer("/silent.json", {200, kValid, Answer::Mode::silent});
    auto doomed = std::make_unique<TrustingNetwork>(QList<QSslCertificate>{testTls().authority});
    auto future = Updater::check(server.url("/silent.json"), QStringLiteral("2.0"), kKey.publicKey, *doomed);
    waitUntil([&] { return server.requests() == 1; });
    doomed.reset();
    ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), kNothing);
}

} // namespace
