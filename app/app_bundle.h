#pragma once

#include <QString>

#include <optional>

namespace inkveil {

// An installed application bundle: a folder named "*.app" holding an executable
// AppRun and exactly one desktop entry at its root.
struct AppBundle {
    QString path;       // the bundle folder
    QString identifier; // the desktop entry's file name without ".desktop"
    QString version;    // its X-AppImage-Version; empty when missing

    friend bool operator==(const AppBundle&, const AppBundle&) = default;
};

// The nearest bundle that holds executableDir (or is it), if any.
std::optional<AppBundle> findAppBundle(const QString& executableDir);

// The running program's short version string: the bundle's version, or
// "Development" when not running from a bundle that names one.
QString runningVersion();

} // namespace inkveil
