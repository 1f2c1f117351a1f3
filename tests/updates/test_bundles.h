#pragma once

#include "tests/support/test_env.h"
#include "update/app_bundle.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

namespace inkveil::test {

// A launchable bundle <parent>/<name>: an AppRun that appends the bundle's
// version to the file named by $INKVEIL_TEST_MARKER, the desktop entry, a
// program, a nested folder and a relative link. Returns its path.
QString makeBundle(const QString& parent, const QString& name, const QString& version,
                   const QString& identifier = kBundleIdentifier);

// The version in a bundle's desktop entry, or "" when it has none.
QString bundleVersion(const QString& bundle);

// Waits, running the event loop, until `done` holds or `ms` have passed.
bool waitUntil(const std::function<bool()>& done, int ms = 20000);

} // namespace inkveil::test
