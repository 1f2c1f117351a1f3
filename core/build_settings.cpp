#include "core/build_settings.h"

#include "build_config.h"

namespace inkveil::BuildSettings {

QUrl updateManifest()
{
    return QUrl(QStringLiteral(INKVEIL_UPDATE_MANIFEST_URL));
}

QUrl feedbackPage()
{
    return QUrl(QStringLiteral(INKVEIL_FEEDBACK_URL));
}

QUrl website()
{
    return QUrl(QStringLiteral(INKVEIL_WEBSITE_URL));
}

QByteArray releasePublicKey()
{
    return QByteArray::fromHex(QByteArrayLiteral(INKVEIL_RELEASE_PUBLIC_KEY));
}

bool selfUpdates()
{
    return !INKVEIL_PACKAGED;
}

} // namespace inkveil::BuildSettings
