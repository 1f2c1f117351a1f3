#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Detached Ed25519 signatures over a canonical list of a bundle's contents:
// every folder, file and link below the bundle except the signature folder,
// with its relative path, type, executable bit, SHA-256 of a file's content
// and a link's target. The list names the signing team, so a signature made
// for another team never matches.
namespace inkveil::BundleSignature {

inline const QString kTeamIdentifier = QStringLiteral("Q5LM2VX8TR");
// At the bundle's root; holds only the file kFile.
inline const QString kFolder = QStringLiteral("_CodeSignature");
inline const QString kFile = QStringLiteral("signature");

struct KeyPair {
    QByteArray publicKey; // 32 bytes
    QByteArray secretKey; // 64 bytes
};
KeyPair generateKeyPair();

// Nothing when the bundle is not a folder, holds anything but folders, files
// and links, or cannot be read whole.
std::optional<QByteArray> canonicalList(const QString& bundle);

// Writes the signature made with `secretKey` into the bundle, replacing any
// earlier one. Throws FileError, or std::invalid_argument for a bad key.
void sign(const QString& bundle, const QByteArray& secretKey);

// True only when the bundle carries exactly one well-formed signature that
// `publicKey` verifies over the bundle's current contents.
bool isValid(const QString& bundle, const QByteArray& publicKey);

} // namespace inkveil::BundleSignature
