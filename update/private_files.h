#pragma once

#include <QByteArray>
#include <QString>

// Files and folders in shared places (the temporary folder) that no other
// local user can replace or read. Failures throw FileError.
namespace inkveil::PrivateFiles {

// Removes whatever is at `path` (a symbolic link is removed, never followed)
// and creates a new, empty folder there that only the user can enter.
void makeFreshFolder(const QString& path);

// Writes `data` to a new file only the user can read and write, then renames
// it to `path`: readers never see a partial file.
void writeFile(const QString& path, const QByteArray& data);

} // namespace inkveil::PrivateFiles
