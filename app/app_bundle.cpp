#include "app/app_bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace inkveil {

namespace {

// The value of key in the [Desktop Entry] group, untranslated; nothing when absent.
std::optional<QString> desktopEntryValue(const QString& file, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inEntry || line.startsWith(u'#'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return std::nullopt;
}

std::optional<AppBundle> bundleAt(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || !info.fileName().endsWith(QStringLiteral(".app")))
        return std::nullopt;
    const QFileInfo appRun(QDir(folder).filePath(QStringLiteral("AppRun")));
    if (!appRun.isFile() || !appRun.isExecutable())
        return std::nullopt;
    const QStringList entries = QDir(folder).entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Hidden);
    if (entries.size() != 1)
        return std::nullopt;
    const QString entry = entries.front();
    AppBundle bundle;
    bundle.path = info.absoluteFilePath();
    bundle.identifier = entry.chopped(static_cast<qsizetype>(QStringLiteral(".desktop").size()));
    bundle.version = desktopEntryValue(QDir(folder).filePath(entry), QStringLiteral("X-AppImage-Version")).value_or(QString());
    return bundle;
}

} // namespace

std::optional<AppBundle> findAppBundle(const QString& executableDir)
{
    QDir dir(QDir::cleanPath(QFileInfo(executableDir).absoluteFilePath()));
    while (true) {
        if (auto bundle = bundleAt(dir.path()))
            return bundle;
        if (!dir.cdUp())
            return std::nullopt;
    }
}

QString runningVersion()
{
    const auto bundle = findAppBundle(QCoreApplication::applicationDirPath());
    if (bundle && !bundle->version.isEmpty())
        return bundle->version;
    return QStringLiteral("Development");
}

} // namespace inkveil
