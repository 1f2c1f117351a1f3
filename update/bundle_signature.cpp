#include "update/bundle_signature.h"

#include "core/errors.h"

#include <QByteArrayList>
#include <QFile>

#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
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
const QByteArray kFormat2Header = "inkveil-bundle-signature 2";

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

struct Stored {
    int format = 1;
    QByteArray signature;
};

// Format 1: 128 hex digits and an optional final line feed. Format 2: the
// header line, then the same.
std::optional<Stored> storedSignature(const fs::path& root)
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
    Stored stored;
    if (text.startsWith(kFormat2Header + '\n')) {
        stored.format = 2;
        text.remove(0, kFormat2Header.size() + 1);
    }
    if (text.endsWith('\n'))
        text.chop(1);
    const bool hex =
        std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    if (!hex || text.size() != 2 * crypto_sign_BYTES)
        return std::nullopt;
    stored.signature = QByteArray::fromHex(text);
    return stored;
}

QByteArray modeText(fs::perms perms, int format, bool executable)
{
    if (format == 1)
        return executable ? "755" : "644";
    return QByteArray::number(static_cast<int>(perms) & 07777, 8).rightJustified(4, '0');
}

} // namespace

std::optional<QByteArray> canonicalList(const QString& bundle, int format)
{
    const fs::path root = nativePath(bundle);
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(root, error)) || (format != 1 && format != 2))
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
            line = "l " + QByteArray(format == 1 ? "777" : "0777") + ' ' + encoded(target.native());
        } else if (fs::is_directory(status)) {
            line = "d " + modeText(status.permissions(), format, true) + " -";
        } else if (fs::is_regular_file(status)) {
            const auto digest = contentDigest(it->path());
            if (!digest)
                return std::nullopt;
            const bool executable = (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
            line = "f " + modeText(status.permissions(), format, executable) + ' ' + *digest;
        } else {
            return std::nullopt;
        }
        lines.emplace_back(relative.native(), line + ' ' + encoded(relative.native()) + '\n');
    }
    if (error)
        return std::nullopt;

    std::sort(lines.begin(), lines.end());
    QByteArray list =
        "inkveil-bundle-signature " + QByteArray::number(format) + "\nteam " + kTeamIdentifier.toUtf8() + '\n';
    for (const auto& entry : lines)
        list += entry.second;
    return list;
}

void setClassModes(const QString& bundle)
{
    const fs::path root = nativePath(bundle);
    const auto set = [&](const fs::path& path, const fs::file_status& status) {
        fs::perms mode = fs::perms::none;
        if (fs::is_directory(status))
            mode = fs::perms(0755);
        else if (fs::is_regular_file(status))
            mode = fs::perms((status.permissions() & fs::perms::owner_exec) != fs::perms::none ? 0755 : 0644);
        else
            return;
        // The path was just listed as a folder or file, not a link: chmod
        // may follow it, and only the user can change what is there.
        if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0)
            throw FileError::fromErrno(QFile::decodeName(path.c_str()), errno);
    };
    std::error_code error;
    set(root, fs::symlink_status(root, error));
    fs::recursive_directory_iterator it(root, fs::directory_options::none, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        const fs::file_status status = it->symlink_status(error);
        if (!error)
            set(it->path(), status);
    }
    if (error)
        throw FileError::fromErrno(bundle, error.value());
}

void sign(const QString& bundle, const QByteArray& secretKey)
{
    const fs::path folder = nativePath(bundle) / nativePath(kFolder);
    std::error_code error;
    fs::remove_all(folder, error);
    setClassModes(bundle);
    const auto list = canonicalList(bundle, kFormat);
    if (!list)
        throw FileError(bundle, QStringLiteral("Could not read every file of %1").arg(bundle));
    const QByteArray signature = ReleaseKey::sign(*list, secretKey);

    const QString folderPath = QFile::decodeName(folder.c_str());
    if (::mkdir(folder.c_str(), 0755) != 0)
        throw FileError::fromErrno(folderPath, errno);
    QFile file(folderPath + u'/' + kFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                 | QFileDevice::ReadGroup | QFileDevice::ReadOther)
        || file.write(kFormat2Header + '\n' + signature.toHex() + '\n') < 0 || !file.flush())
        throw FileError(file.fileName(), file.errorString());
    file.close();
    setClassModes(folderPath);
}

bool isValid(const QString& bundle, const QByteArray& publicKey)
{
    const auto stored = storedSignature(nativePath(bundle));
    if (!stored)
        return false;
    const auto list = canonicalList(bundle, stored->format);
    return list && ReleaseKey::verify(*list, stored->signature, publicKey);
}

} // namespace inkveil::BundleSignature
