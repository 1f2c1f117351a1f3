#include "core/updater.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_https.h"

#include <QNetworkProxy>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using namespace inkveil;
using namespace inkveil::test;

namespace {

const QByteArray kValid =
    R"({"version": "2.1.0", "url": "https://updates.mervo.example/Inkveil-2.1.0.zip", "notes": "Faster"})";
const UpdateInfo kValidOffer{QStringLiteral("2.1.0"), QUrl(QStringLiteral("https://updates.mervo.example/Inkveil-2.1.0.zip")),
                             QStringLiteral("Faster")};

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

TEST(ManifestRules, OfferOnlyValidNewerVersions)
{
    EXPECT_EQ(Updater::readManifest(kValid, QStringLiteral("2.0")), kValidOffer);
    const auto numericNotes = Updater::readManifest(R"({"version":"2.1","url":"https://h/a.zip","notes":4})",
                                                    QStringLiteral("2.0"));
    ASSERT_TRUE(numericNotes);
    EXPECT_EQ(numericNotes->notes, QString());
    const QByteArray refused[] = {
        R"({"version":"2.0","url":"https://h/a.zip"})",
        R"({"version":2.1,"url":"https://h/a.zip"})",
        R"({"version":"2.1"})",
        R"({"version":"2.1","url":"http://h/a.zip"})",
        R"({"version":"2.1","url":"HTTPS://h/a.zip"})",
        R"({"version":"2.1","url":"https:///a.zip"})",
        R"({"version":"2.1","url":"https://h/a b.zip"})",
        "[" + kValid + "]",
        "version: 2.1",
    };
    for (const QByteArray& manifest : refused)
        EXPECT_EQ(Updater::readManifest(manifest, QStringLiteral("2.0")), std::nullopt) << manifest.constData();
}

// A manifest served over local HTTPS, checked as the program does.
class ManifestCheck : public ::testing::Test {
protected:
    std::optional<UpdateInfo> check(QNetworkAccessManager& via, const QUrl& url,
                                    std::chrono::milliseconds timeout = Updater::kTransferTimeout)
    {
        auto future = Updater::check(url, QStringLiteral("2.0"), via, timeout);
        EXPECT_TRUE(waitUntil([&] { return future.isFinished(); }));
        return future.isFinished() ? future.result() : std::nullopt;
    }

    HttpsServer server;
    TrustingNetwork network{{testTls().authority}};
};

TEST_F(ManifestCheck, BadStatusStallsAndOversizedAnswersAreNoUpdate)
{
    QByteArray huge = kValid;
    huge.insert(1, R"("padding": ")" + QByteArray(Updater::kMaxManifestBytes, 'x') + R"(",)");
    using std::chrono::milliseconds;
    const std::pair<Answer, milliseconds> answers[] = {
        {{404, kValid}, Updater::kTransferTimeout},
        {{304, {}}, Updater::kTransferTimeout},
        {{200, kValid, Answer::Mode::stall}, milliseconds(300)},
        {{200, kValid, Answer::Mode::silent}, milliseconds(300)},
        {{200, huge, Answer::Mode::unbounded}, Updater::kTransferTimeout},
    };
    for (const auto& [answer, timeout] : answers) {
        server.answer("/latest.json", answer);
        EXPECT_EQ(check(network, server.url("/latest.json"), timeout), std::nullopt)
            << answer.status << " mode " << int(answer.mode);
    }
}

TEST_F(ManifestCheck, UntrustedServerOrNoServerIsNoUpdate)
{
    server.answer("/latest.json", {200, kValid});
    QNetworkAccessManager stranger; // trusts the system authorities only
    stranger.setProxy(QNetworkProxy::NoProxy);
    EXPECT_EQ(check(stranger, server.url("/latest.json")), std::nullopt);

    const QUrl gone = server.url("/latest.json");
    server.close();
    EXPECT_EQ(check(network, gone), std::nullopt);
}

TEST_F(ManifestCheck, ManagerGoneBeforeTheAnswerIsNoUpdate)
{
    server.answer("/silent.json", {200, kValid, Answer::Mode::silent});
    auto doomed = std::make_unique<TrustingNetwork>(QList<QSslCertificate>{testTls().authority});
    auto future = Updater::check(server.url("/silent.json"), QStringLiteral("2.0"), *doomed);
    waitUntil([&] { return server.requests() == 1; });
    doomed.reset();
    ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), std::nullopt);
}

} // namespace
