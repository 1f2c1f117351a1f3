#pragma once

#include <QByteArray>
#include <QString>

// The shell script that replaces the installed bundle once the program has
// ended. Its arguments: "$1" the new bundle, "$2" the installed bundle.
namespace inkveil::SwapScript {

// Fourteen lines, no line feed after the last: wait until process `pid` has
// ended; move "$2" to "$2.bak" (after removing an old one); copy "$1" to "$2";
// on success drop the backup, on failure clear the partial copy and put the
// backup back; in every case start "$2/AppRun" detached.
QByteArray text(qint64 pid);

// "mervo-update-<pid>.sh" in `folder`.
QString path(const QString& folder, qint64 pid);

// Writes the script into `folder` (only the user can change it) and starts
// /bin/sh on it with newApp and destination, without waiting. Returns the
// script's path. Failures throw FileError.
QString start(const QString& folder, qint64 pid, const QString& newApp, const QString& destination);

} // namespace inkveil::SwapScript
