#include "app/app_bundle.h"

#include "app/desktop_entry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace inkveil {
namespace {

constexpr qint64 kMaxDesktopEntryBytes = 64 * 1024;

bool isLaunchable(const QString& folder)
{
    const QFileInfo appRun(folder + QStringLiteral("/AppRun"));
    return appRun.isFile() && appRun.isExecutable();
}

} // namespace

std::optional<AppBundle> readAppBundle(const QString& folder)
{
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.desktop")},
                          QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive);
    if (entries.size() != 1)
        return std::nullopt;
    const QFileInfo& entry = entries.front();
    const QString identifier = entry.fileName().chopped(int(sizeof(".desktop") - 1));
    if (identifier.isEmpty() || entry.size() > kMaxDesktopEntryBytes)
        return std::nullopt;
    QFile file(entry.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = file.read(kMaxDesktopEntryBytes + 1);
    if (text.size() > kMaxDesktopEntryBytes)
        return std::nullopt;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return AppBundle{canonical.isEmpty() ? QDir::cleanPath(dir.absolutePath()) : canonical, identifier,
                     DesktopEntry::value(text, QStringLiteral("X-AppImage-Version"))};
}

std::optional<AppBundle> bundleContaining(const QString& program)
{
    QDir dir = QFileInfo(program).absoluteDir();
    for (;;) {
        if (dir.dirName().endsWith(QStringLiteral(".app")) && isLaunchable(dir.path())) {
            if (auto bundle = readAppBundle(dir.path()))
                return bundle;
        }
        if (dir.isRoot() || !dir.cdUp())
            return std::nullopt;
    }
}

std::optional<AppBundle> runningAppBundle()
{
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (program.isEmpty())
        return std::nullopt;
    return bundleContaining(program);
}

QString runningVersion()
{
    const auto bundle = runningAppBundle();
    return bundle && bundle->version && !bundle->version->isEmpty() ? *bundle->version : kDevelopmentVersion;
}

} // namespace inkveil
