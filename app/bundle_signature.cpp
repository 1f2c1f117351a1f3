#include "app/bundle_signature.h"

#include "core/errors.h"

#include <QFile>

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace inkveil::BundleSignature {
namespace {

constexpr qint64 kMaxSignatureBytes = 1024;

void requireSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium could not be initialised");
}

fs::path nativePath(const QString& path)
{
    return fs::path(QFile::encodeName(path).toStdString());
}

QByteArray encoded(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes).toPercentEncoding("/");
}

std::optional<QByteArray> contentDigest(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        crypto_hash_sha256_update(&state, buffer.data(), static_cast<unsigned long long>(n));
    }
    ::close(fd);
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
}

// The stored signature: 128 hex digits and an optional final line feed.
std::optional<QByteArray> storedSignature(const fs::path& root)
{
    std::error_code error;
    const fs::path folder = root / nativePath(kFolder);
    if (!fs::is_directory(fs::symlink_status(folder, error)))
        return std::nullopt;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    if (error || entries.size() != 1 || entries.front().filename() != nativePath(kFile))
        return std::nullopt;
    const fs::file_status status = fs::symlink_status(entries.front(), error);
    if (!fs::is_regular_file(status) || fs::file_size(entries.front(), error) > kMaxSignatureBytes || error)
        return std::nullopt;
    QFile file(QFile::decodeName(entries.front().c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray text = file.readAll();
    if (text.endsWith('\n'))
        text.chop(1);
    const bool hex = std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (!hex || text.size() != 2 * crypto_sign_BYTES)
        return std::nullopt;
    return QByteArray::fromHex(text);
}

} // namespace

KeyPair generateKeyPair()
{
    requireSodium();
    KeyPair pair{QByteArray(crypto_sign_PUBLICKEYBYTES, '\0'), QByteArray(crypto_sign_SECRETKEYBYTES, '\0')};
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(pair.publicKey.data()),
                        reinterpret_cast<unsigned char*>(pair.secretKey.data()));
    return pair;
}

std::optional<QByteArray> canonicalList(const QString& bundle)
{
    requireSodium();
    const fs::path root = nativePath(bundle);
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error)))
        return std::nullopt;

    std::vector<std::pair<std::string, QByteArray>> lines; // relative path, line
    const fs::path signatureFolder = nativePath(kFolder);
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(root);
        if (relative == signatureFolder) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::file_status status = it->symlink_status(error);
        if (error)
            return std::nullopt;
        QByteArray line;
        if (fs::is_symlink(status)) {
            const fs::path target = fs::read_symlink(it->path(), error);
            if (error)
                return std::nullopt;
            line = "l 777 " + encoded(target.native());
        } else if (fs::is_directory(status)) {
            line = "d 755 -";
        } else if (fs::is_regular_file(status)) {
            const auto digest = contentDigest(it->path());
            if (!digest)
                return std::nullopt;
            const bool executable = (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
            line = (executable ? "f 755 " : "f 644 ") + *digest;
        } else {
            return std::nullopt;
        }
        lines.emplace_back(relative.native(), line + ' ' + encoded(relative.native()) + '\n');
    }
    if (error)
        return std::nullopt;

    std::sort(lines.begin(), lines.end());
    QByteArray list = "inkveil-bundle-signature 1\nteam " + kTeamIdentifier.toUtf8() + '\n';
    for (const auto& entry : lines)
        list += entry.second;
    return list;
}

void sign(const QString& bundle, const QByteArray& secretKey)
{
    requireSodium();
    if (secretKey.size() != crypto_sign_SECRETKEYBYTES)
        throw std::invalid_argument("an Ed25519 secret key has 64 bytes");
    const fs::path folder = nativePath(bundle) / nativePath(kFolder);
    std::error_code error;
    fs::remove_all(folder, error);
    const auto list = canonicalList(bundle);
    if (!list)
        throw FileError(bundle, QStringLiteral("Could not read every file of %1").arg(bundle));

    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(list->constData()),
                         static_cast<unsigned long long>(list->size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));

    const QString folderPath = QFile::decodeName(folder.c_str());
    if (!fs::create_directory(folder, error) || error)
        throw FileError::fromErrno(folderPath, error ? error.value() : EEXIST);
    QFile file(folderPath + u'/' + kFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(signature.toHex() + '\n') < 0
        || !file.flush())
        throw FileError(file.fileName(), file.errorString());
}

bool isValid(const QString& bundle, const QByteArray& publicKey)
{
    requireSodium();
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    const auto signature = storedSignature(nativePath(bundle));
    if (!signature)
        return false;
    const auto list = canonicalList(bundle);
    if (!list)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature->constData()),
                                       reinterpret_cast<const unsigned char*>(list->constData()),
                                       static_cast<unsigned long long>(list->size()),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData()))
        == 0;
}

} // namespace inkveil::BundleSignature
