#include "update/release_key.h"

#include <sodium.h>

#include <stdexcept>

namespace inkveil::ReleaseKey {
namespace {

void requireSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium could not be initialised");
}

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

void requireSecretKey(const QByteArray& secretKey)
{
    if (secretKey.size() != crypto_sign_SECRETKEYBYTES)
        throw std::invalid_argument("an Ed25519 secret key has 64 bytes");
}

} // namespace

KeyPair generate()
{
    requireSodium();
    KeyPair pair{QByteArray(crypto_sign_PUBLICKEYBYTES, '\0'), QByteArray(crypto_sign_SECRETKEYBYTES, '\0')};
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(pair.publicKey.data()),
                        reinterpret_cast<unsigned char*>(pair.secretKey.data()));
    return pair;
}

QByteArray publicKeyOf(const QByteArray& secretKey)
{
    requireSodium();
    requireSecretKey(secretKey);
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, '\0');
    crypto_sign_ed25519_sk_to_pk(reinterpret_cast<unsigned char*>(publicKey.data()), bytes(secretKey));
    return publicKey;
}

QByteArray sign(const QByteArray& message, const QByteArray& secretKey)
{
    requireSodium();
    requireSecretKey(secretKey);
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, bytes(message),
                         static_cast<unsigned long long>(message.size()), bytes(secretKey));
    return signature;
}

bool verify(const QByteArray& message, const QByteArray& signature, const QByteArray& publicKey)
{
    requireSodium();
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES || signature.size() != crypto_sign_BYTES)
        return false;
    return crypto_sign_verify_detached(bytes(signature), bytes(message),
                                       static_cast<unsigned long long>(message.size()), bytes(publicKey))
        == 0;
}

} // namespace inkveil::ReleaseKey
