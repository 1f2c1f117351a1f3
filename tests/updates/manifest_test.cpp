#include "core/updater.h"
#include "tests/updates/https_server.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_tls.h"

#include <QNetworkProxy>
#include <QNetworkReply>

#include <gtest/gtest.h>

#include <memory>

using namespace inkveil;
using namespace inkveil::test;

namespace {

const QByteArray kValid =
    R"({"version": "2.1.0", "url": "https://updates.mervo.example/Inkveil-2.1.0.zip", "notes": "Faster"})";
const UpdateInfo kValidOffer{QStringLiteral("2.1.0"), QUrl(QStringLiteral("https://updates.mervo.example/Inkveil-2.1.0.zip")),
                             QStringLiteral("Faster")};

struct ManifestCase {
    const char* name;
    QByteArray body;
    bool offered;
    const char* notes = "";
};

void PrintTo(const ManifestCase& c, std::ostream* out)
{
    *out << c.name;
}

class ManifestRules : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestRules, OffersOnlyValidNewerVersions)
{
    const ManifestCase& c = GetParam();
    const auto offer = Updater::readManifest(c.body, QStringLiteral("2.0"));
    ASSERT_EQ(offer.has_value(), c.offered);
    if (offer) {
        EXPECT_EQ(offer->notes, QString::fromUtf8(c.notes));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ManifestRules, ::testing::Values(
    ManifestCase{"valid", kValid, true, "Faster"},
    ManifestCase{"extra_keys", R"({"version":"2.1","url":"https://h/a.zip","notes":"n","size":3})", true, "n"},
    ManifestCase{"no_notes", R"({"version":"2.1","url":"https://h/a.zip"})", true},
    ManifestCase{"numeric_notes", R"({"version":"2.1","url":"https://h/a.zip","notes":4})", true},
    ManifestCase{"null_notes", R"({"version":"2.1","url":"https://h/a.zip","notes":null})", true},
    ManifestCase{"same_version", R"({"version":"2.0","url":"https://h/a.zip"})", false},
    ManifestCase{"older_version", R"({"version":"1.9","url":"https://h/a.zip"})", false},
    ManifestCase{"numeric_version", R"({"version":2.1,"url":"https://h/a.zip"})", false},
    ManifestCase{"no_version", R"({"url":"https://h/a.zip"})", false},
    ManifestCase{"Version_key", R"({"Version":"2.1","url":"https://h/a.zip"})", false},
    ManifestCase{"no_url", R"({"version":"2.1"})", false},
    ManifestCase{"http", R"({"version":"2.1","url":"http://h/a.zip"})", false},
    ManifestCase{"upper_case_scheme", R"({"version":"2.1","url":"HTTPS://h/a.zip"})", false},
    ManifestCase{"no_host", R"({"version":"2.1","url":"https:///a.zip"})", false},
    ManifestCase{"scheme_only", R"({"version":"2.1","url":"https:"})", false},
    ManifestCase{"unparsable_url", R"({"version":"2.1","url":"https://h/a b.zip"})", false},
    ManifestCase{"array", "[" + kValid + "]", false},
    ManifestCase{"scalar", "\"2.1\"", false},
    ManifestCase{"not_json", "version: 2.1", false},
    ManifestCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A manifest served over local HTTPS, checked as the program does.
class ManifestCheck : public ::testing::Test {
protected:
    std::optional<UpdateInfo> check(const QByteArray& path, std::chrono::milliseconds timeout = Updater::kTransferTimeout)
    {
        auto future = Updater::check(server.url(path), QStringLiteral("2.0"), network, timeout);
        EXPECT_TRUE(waitUntil([&] { return future.isFinished(); }));
        return future.isFinished() ? future.result() : std::nullopt;
    }

    HttpsServer server;
    TrustingNetwork network{{testTls().authority}};
};

TEST_F(ManifestCheck, OffersAValidManifestWithPlainNetworkRequest)
{
    server.answer("/latest.json", {200, kValid});
    EXPECT_EQ(check("/latest.json"), kValidOffer);
    EXPECT_EQ(network.lastRequest.attribute(QNetworkRequest::CacheLoadControlAttribute).toInt(),
              QNetworkRequest::AlwaysNetwork);
    EXPECT_EQ(network.lastRequest.transferTimeout(), 10'000);
}

TEST_F(ManifestCheck, AnyStatusButTwoHundredIsNoUpdate)
{
    for (const int status : {204, 304, 404, 500}) {
        server.answer("/latest.json", {status, status == 204 || status == 304 ? QByteArray() : kValid});
        EXPECT_EQ(check("/latest.json"), std::nullopt) << status;
    }
    EXPECT_EQ(server.requests(), 4);
}

TEST_F(ManifestCheck, StallsAndOversizedAnswersAreNoUpdate)
{
    server.answer("/stall.json", {200, kValid, Answer::Mode::stall});
    server.answer("/silent.json", {200, kValid, Answer::Mode::silent});
    QByteArray huge = kValid;
    huge.insert(1, R"("padding": ")" + QByteArray(Updater::kMaxManifestBytes, 'x') + R"(",)");
    server.answer("/huge.json", {200, huge, Answer::Mode::unbounded});
    EXPECT_EQ(check("/stall.json", std::chrono::milliseconds(300)), std::nullopt);
    EXPECT_EQ(check("/silent.json", std::chrono::milliseconds(300)), std::nullopt);
    EXPECT_EQ(check("/huge.json"), std::nullopt);
}

TEST_F(ManifestCheck, UntrustedServerOrNoServerIsNoUpdate)
{
    server.answer("/latest.json", {200, kValid});
    QNetworkAccessManager stranger; // trusts the system authorities only
    stranger.setProxy(QNetworkProxy::NoProxy);
    auto untrusted = Updater::check(server.url("/latest.json"), QStringLiteral("2.0"), stranger);
    ASSERT_TRUE(waitUntil([&] { return untrusted.isFinished(); }));
    EXPECT_EQ(untrusted.result(), std::nullopt);

    const QUrl gone = server.url("/latest.json");
    server.close();
    auto refused = Updater::check(gone, QStringLiteral("2.0"), network);
    ASSERT_TRUE(waitUntil([&] { return refused.isFinished(); }));
    EXPECT_EQ(refused.result(), std::nullopt);
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
