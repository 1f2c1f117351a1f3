#pragma once

#include <QByteArray>

// Ed25519 with the release key: bundles and manifests are signed with the same
// key, over texts whose first lines keep one kind from passing for the other.
namespace inkveil::ReleaseKey {

struct KeyPair {
    QByteArray publicKey; // 32 bytes
    QByteArray secretKey; // 64 bytes
};
KeyPair generate();

// The public half of a 64-byte secret key; throws std::invalid_argument for another size.
QByteArray publicKeyOf(const QByteArray& secretKey);

// A 64-byte detached signature; throws std::invalid_argument for a bad key.
QByteArray sign(const QByteArray& message, const QByteArray& secretKey);

// False for a key or signature of the wrong size, as for a signature that does not verify.
bool verify(const QByteArray& message, const QByteArray& signature, const QByteArray& publicKey);

} // namespace inkveil::ReleaseKey
