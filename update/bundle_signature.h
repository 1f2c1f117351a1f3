#pragma once

#include "update/release_key.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Detached Ed25519 signatures over a canonical list of a bundle's contents:
// every folder, file and link below the bundle except the signature folder,
// with its relative path, type, mode, SHA-256 of a file's content and a link's
// target. The list names the signing team, so a signature made for another
// team never matches.
//
// Format 1 recorded only whether a file's owner could run it, so any other
// mode passed. Format 2, which sign() writes, records each entry's exact mode,
// and that mode must be its class: 0755 for folders and executable files, 0644
// for the other files. Bundles signed in format 1 still verify.
namespace inkveil::BundleSignature {

inline const QString kTeamIdentifier = QStringLiteral("Q5LM2VX8TR");
// At the bundle's root; holds only the file kFile.
inline const QString kFolder = QStringLiteral("_CodeSignature");
inline const QString kFile = QStringLiteral("signature");
inline constexpr int kFormat = 2;

using KeyPair = ReleaseKey::KeyPair;
inline KeyPair generateKeyPair()
{
    return ReleaseKey::generate();
}

// Nothing when the bundle is not a folder, holds anything but folders, files
// and links, or cannot be read whole.
std::optional<QByteArray> canonicalList(const QString& bundle, int format = kFormat);

// Gives the bundle and every folder below it mode 0755, and every file 0755
// when its owner may run it and 0644 otherwise; links are left alone. Throws
// FileError.
void setClassModes(const QString& bundle);

// Sets the class modes, then writes the signature made with `secretKey` into
// the bundle, replacing any earlier one. Throws FileError, or
// std::invalid_argument for a bad key.
void sign(const QString& bundle, const QByteArray& secretKey);

// True only when the bundle carries exactly one well-formed signature that
// `publicKey` verifies over the bundle's current contents.
bool isValid(const QString& bundle, const QByteArray& publicKey);

} // namespace inkveil::BundleSignature
