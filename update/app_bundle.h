#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace inkveil {

// A relocatable application folder ("Inkveil.app"): an executable AppRun at its
// root that starts the program, and exactly one desktop entry at its root whose
// file name without ".desktop" is the identifier and whose X-AppImage-Version
// is the version.
struct AppBundle {
    QByteArray nativePath;          // absolute, without symbolic links, as the file system spells it
    QString identifier;             // "com.mervo.Inkveil"
    std::optional<QString> version; // nothing when the entry has no version

    // For display and for Qt's file classes; lossy when nativePath is not
    // valid UTF-8 (see isTextPath).
    QString path() const;
    friend bool operator==(const AppBundle&, const AppBundle&) = default;
};

inline const QString kDevelopmentVersion = QStringLiteral("Development");
inline const QString kBundleIdentifier = QStringLiteral("com.mervo.Inkveil");

// Whether a native path survives the trip through QString unchanged.
bool isTextPath(const QByteArray& nativePath);

// The identity a folder's one desktop entry gives it; nothing when the folder
// holds no desktop entry at its root, more than one, or an unreadable one.
// Whether the folder can be launched is not checked.
std::optional<AppBundle> readAppBundle(const QByteArray& nativeFolder);
std::optional<AppBundle> readAppBundle(const QString& folder);

// The innermost folder around `program` that is a bundle: its name ends in
// ".app", it holds an executable AppRun and it has an identity.
std::optional<AppBundle> bundleContaining(const QByteArray& nativeProgram);
std::optional<AppBundle> bundleContaining(const QString& program);

// The bundle this process runs from, found from its own executable (not from
// APPDIR, which child processes inherit and which may name another program).
std::optional<AppBundle> runningAppBundle();

// The running bundle's version; "Development" for a build not run from a
// bundle, so that such builds are never offered updates.
QString runningVersion();

} // namespace inkveil
