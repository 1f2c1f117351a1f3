// Stands in for the application inside test bundles. It appends what it does
// to $INKVEIL_PROBE_REPORT: the version it runs as; then, given a manifest
// address, the offer, and whether installing it worked. It quits after
// installing, as the application does, so that the swap can proceed.

#include "app/app_bundle.h"
#include "app/self_updater.h"
#include "core/updater.h"
#include "tests/updates/test_https.h"

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

    Updater::check(QUrl(manifest), version, network).then(&app, [&](std::optional<UpdateInfo> offer) {
        if (!offer) {
            report(QStringLiteral("no update"));
            app.quit();
            return;
        }
        report(QStringLiteral("offer ") + offer->version);
        SelfUpdater::install(*offer, network, installation)
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
