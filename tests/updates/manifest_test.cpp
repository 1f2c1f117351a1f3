#include "core/updater.h"
#include "tests/updates/https_server.h"
#include "tests/updates/test_bundles.h"
#include "tests/updates/test_tls.h"

#include <QNetworkProxy>

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
    ManifestCase{"numeric_notes", R"({"version":"2.1","url":"https://h/a.zip","notes":4})", true},
    ManifestCase{"same_version", R"({"version":"2.0","url":"https://h/a.zip"})", false},
    ManifestCase{"numeric_version", R"({"version":2.1,"url":"https://h/a.zip"})", false},
    ManifestCase{"no_url", R"({"version":"2.1"})", false},
    ManifestCase{"http", R"({"version":"2.1","url":"http://h/a.zip"})", false},
    ManifestCase{"upper_case_scheme", R"({"version":"2.1","url":"HTTPS://h/a.zip"})", false},
    ManifestCase{"no_host", R"({"version":"2.1","url":"https:///a.zip"})", false},
    ManifestCase{"unparsable_url", R"({"version":"2.1","url":"https://h/a b.zip"})", false},
    ManifestCase{"array", "[" + kValid + "]", false},
    ManifestCase{"not_json", "version: 2.1", false}),
    [](const auto& info) { return std::string(info.param.name); });

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

TEST_F(ManifestCheck, OffersAValidManifest)
{
    server.answer("/latest.json", {200, kValid});
    EXPECT_EQ(check(network, server.url("/latest.json")), kValidOffer);
}

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
