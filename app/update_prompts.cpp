#include "app/app_model.h"
#include "app/model_messages.h"

#include "core/build_settings.h"
#include "update/self_updater.h"
#include "update/updater.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSettings>

namespace inkveil {

namespace {

const QString kDeclinedVersionKey = QStringLiteral("mervo.inkveil.updatePromptedVersion");

QString declinedVersion()
{
    return QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).value(kDeclinedVersionKey).toString();
}

bool hasDeclinedVersion()
{
    return QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).contains(kDeclinedVersionKey);
}

void storeDeclinedVersion(const QString& version)
{
    QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).setValue(kDeclinedVersionKey, version);
}

// Continuations run on the main thread. The application, not the model, is their
// context: a model destroyed before a result arrives must not leave a dangling
// context behind; the QPointer in each continuation handles that case.
QObject* continuationContext(AppModel* model)
{
    return QCoreApplication::instance() ? static_cast<QObject*>(QCoreApplication::instance()) : model;
}

} // namespace

QNetworkAccessManager& AppModel::network()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    return *m_network;
}

void AppModel::setUpdateServices(UpdateServices services)
{
    m_updateServices = std::move(services);
}

UpdateServices AppModel::updateServices()
{
    UpdateServices services = m_updateServices;
    if (!services.check) {
        services.check = [this](const QUrl& manifest, const QString& version) {
            return Updater::check(manifest, version, BuildSettings::releasePublicKey(), network());
        };
    }
    if (!services.install)
        services.install = [this](const UpdateInfo& offer) { return SelfUpdater::install(offer, network()); };
    if (!services.quit)
        services.quit = [] { QCoreApplication::quit(); };
    if (!services.enabled)
        services.enabled = !BuildSettings::releasePublicKey().isEmpty();
    return services;
}

bool AppModel::updatesEnabled() const
{
    return m_updateServices.enabled.value_or(!BuildSettings::releasePublicKey().isEmpty());
}

QString AppModel::updateMenuTitle() const
{
    return m_availableUpdate ? QStringLiteral("Update to %1\u2026").arg(m_availableUpdate->version) : QString();
}

void AppModel::checkForUpdate()
{
    if (!updatesEnabled())
        return;
    QPointer<AppModel> self(this);
    updateServices().check(updateManifest(), m_version).then(continuationContext(this), [self](Updater::CheckResult result) {
        if (!self)
            return;
        const std::optional<UpdateInfo> found = result.offer;
        self->setAvailableUpdate(found);
        if (found && (!hasDeclinedVersion() || declinedVersion() != found->version))
            self->promptForUpdate();
    });
}

void AppModel::checkForUpdatesManually()
{
    if (m_isCheckingForUpdate || !updatesEnabled())
        return;
    setIsCheckingForUpdate(true);
    QPointer<AppModel> self(this);
    updateServices().check(updateManifest(), m_version).then(continuationContext(this), [self](Updater::CheckResult result) {
        if (!self)
            return;
        self->setAvailableUpdate(result.offer);
        self->setIsCheckingForUpdate(false);
        if (self->m_availableUpdate) {
            self->promptForUpdate();
        } else if (result.unverified) {
            if (self->m_dialogs)
                self->m_dialogs->showAlert(QStringLiteral("The update server's answer could not be verified."),
                                           QStringLiteral("Mervo Inkveil %1 was not updated. Try again later.")
                                               .arg(self->m_version));
        } else if (self->m_dialogs) {
            self->m_dialogs->showAlert(QStringLiteral("You're up to date"),
                                       QStringLiteral("Mervo Inkveil %1 is the latest version.").arg(self->m_version));
        }
    });
}

void AppModel::promptForUpdate()
{
    if (!m_availableUpdate || m_isUpdating || !m_dialogs)
        return;
    const UpdateInfo offer = *m_availableUpdate;
    const int answer = m_dialogs->askAlert(
        QStringLiteral("A new version of Mervo Inkveil is available"),
        QStringLiteral("Version %1 is ready. The app will update itself and relaunch.").arg(offer.version),
        {QStringLiteral("Update Now"), QStringLiteral("Later")});
    if (answer != 0) {
        storeDeclinedVersion(offer.version);
        return;
    }

    setIsUpdating(true);
    const UpdateServices services = updateServices();
    QPointer<AppModel> self(this);
    services.install(offer)
        .then(continuationContext(this), [self, quit = services.quit] {
            if (self)
                quit();
        })
        .onFailed(continuationContext(this), [self](const std::exception& error) {
            if (!self)
                return;
            self->setIsUpdating(false);
            // A refused location says what the user can do about it.
            const auto* failure = dynamic_cast<const SelfUpdater::UpdateFailure*>(&error);
            const QString reason = failure ? failure->reason() : QString();
            self->setError(ModelMessages::updateFailedTitle, QStringLiteral("The update could not be installed.")
                                  + (reason.isEmpty() ? QString() : u' ' + reason));
        })
        .onFailed(continuationContext(this), [self] {
            if (!self)
                return;
            self->setIsUpdating(false);
            self->setError(ModelMessages::updateFailedTitle, QStringLiteral("The update could not be installed."));
        });
}

} // namespace inkveil
