// Stands in for the application inside test bundles. It appends what it does
// to $INKVEIL_PROBE_REPORT: the version it runs as; then, given a manifest
// address, the offer, and whether installing it worked. It quits after
// installing, as the application does, so that the swap can proceed.

#include "tests/updates/test_https.h"
#include "update/app_bundle.h"
#include "update/bundle_swap.h"
#include "update/self_updater.h"
#include "update/updater.h"

#include <QCoreApplication>
#include <QFile>

namespace {

void report(const QString& line)
{
    QFile file(qEnvironmentVariable("INKVEIL_PROBE_REPORT"));
    if (file.open(QIODevice::Append))
        file.write(line.toUtf8() + '\n');
}

} // namespace

int main(int argc, char** argv)
{
    using namespace inkveil;
    if (const auto swapped = BundleSwap::runIfAsked(argc, argv))
        return *swapped;
    QCoreApplication app(argc, argv);
    const QString version = runningVersion();
    report(QStringLiteral("started ") + version);
    const QString manifest = qEnvironmentVariable("INKVEIL_PROBE_MANIFEST");
    if (manifest.isEmpty())
        return 0;

    QFile authority(qEnvironmentVariable("INKVEIL_PROBE_AUTHORITY"));
    authority.open(QIODevice::ReadOnly);
    test::TrustingNetwork network(QSslCertificate::fromData(authority.readAll()));
    SelfUpdater::Installation installation = SelfUpdater::Installation::current();
    installation.trustedKey = QByteArray::fromHex(qgetenv("INKVEIL_PROBE_KEY"));

    Updater::check(QUrl(manifest), version, installation.trustedKey, network).then(&app, [&](Updater::CheckResult result) {
        if (!result.offer) {
            report(result.unverified ? QStringLiteral("unverified") : QStringLiteral("no update"));
            app.quit();
            return;
        }
        report(QStringLiteral("offer ") + result.offer->version);
        SelfUpdater::install(*result.offer, network, installation)
            .then(&app, [&] {
                report(QStringLiteral("installed"));
                app.quit();
            })
            .onFailed(&app, [&](const std::exception& error) {
                report(QStringLiteral("failed ") + QString::fromUtf8(error.what()));
                app.exit(1);
            });
    });
    return app.exec();
}
