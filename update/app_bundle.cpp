#include "update/app_bundle.h"

#include "update/desktop_entry.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkveil {
namespace {

constexpr qint64 kMaxDesktopEntryBytes = 64 * 1024;

bool isLaunchable(const QByteArray& folder)
{
    const QByteArray appRun = folder + "/AppRun";
    struct stat info {};
    return ::stat(appRun.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(appRun.constData(), X_OK) == 0;
}

std::optional<QByteArray> realPath(const QByteArray& path)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved))
        return std::nullopt;
    return QByteArray(resolved);
}

// The names of the regular files at the folder's root that end in ".desktop".
std::optional<QList<QByteArray>> desktopEntries(const QByteArray& folder)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.constData()), &::closedir);
    if (!dir)
        return std::nullopt;
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        struct stat info {};
        if (name.endsWith(".desktop") && ::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0
            && S_ISREG(info.st_mode))
            names.append(name);
    }
    return names;
}

std::optional<QByteArray> readSmallFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray text;
    char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            text.append(buffer, n);
        if (text.size() > kMaxDesktopEntryBytes)
            break;
    }
    ::close(fd);
    if (n < 0 || text.size() > kMaxDesktopEntryBytes)
        return std::nullopt;
    return text;
}

} // namespace

QString AppBundle::path() const
{
    return QFile::decodeName(nativePath);
}

bool isTextPath(const QByteArray& nativePath)
{
    return QFile::encodeName(QFile::decodeName(nativePath)) == nativePath;
}

std::optional<AppBundle> readAppBundle(const QByteArray& folder)
{
    const auto entries = desktopEntries(folder);
    if (!entries || entries->size() != 1)
        return std::nullopt;
    const QByteArray& name = entries->front();
    const QByteArray identifier = name.chopped(int(sizeof(".desktop") - 1));
    if (identifier.isEmpty() || !isTextPath(identifier))
        return std::nullopt;
    const auto text = readSmallFile(folder + '/' + name);
    const auto canonical = realPath(folder);
    if (!text || !canonical)
        return std::nullopt;
    return AppBundle{*canonical, QFile::decodeName(identifier),
                     DesktopEntry::value(*text, QStringLiteral("X-AppImage-Version"))};
}

std::optional<AppBundle> readAppBundle(const QString& folder)
{
    return readAppBundle(QFile::encodeName(folder));
}

std::optional<AppBundle> bundleContaining(const QByteArray& program)
{
    const auto resolved = realPath(program);
    if (!resolved)
        return std::nullopt;
    QByteArray dir = *resolved;
    for (;;) {
        const qsizetype slash = dir.lastIndexOf('/');
        if (slash <= 0)
            return std::nullopt;
        dir.truncate(slash);
        if (dir.endsWith(".app") && isLaunchable(dir)) {
            if (auto bundle = readAppBundle(dir))
                return bundle;
        }
    }
}

std::optional<AppBundle> bundleContaining(const QString& program)
{
    return bundleContaining(QFile::encodeName(program));
}

std::optional<AppBundle> runningAppBundle()
{
    return bundleContaining(QByteArrayLiteral("/proc/self/exe"));
}

QString runningVersion()
{
    const auto bundle = runningAppBundle();
    return bundle && bundle->version && !bundle->version->isEmpty() ? *bundle->version : kDevelopmentVersion;
}

} // namespace inkveil
