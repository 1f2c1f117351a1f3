#pragma once

#include <QByteArray>
#include <QUrl>

// Values fixed when the program was built (CMake cache variables).
namespace inkveil::BuildSettings {

// The update manifest; its last path component is "latest.json".
QUrl updateManifest();
QUrl feedbackPage();
QUrl website();
// The 32-byte Ed25519 key that update bundles must be signed with; empty when
// the build was configured without one, which refuses every update.
QByteArray releasePublicKey();
// Whether the program offers and checks for updates of itself: not when it was
// built for a distribution package, which the package manager updates.
bool selfUpdates();

} // namespace inkveil::BuildSettings
