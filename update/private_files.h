#pragma once

#include <QByteArray>
#include <QString>

// Files that no other local user can read or see half-written (secret keys).
// Failures throw FileError.
namespace inkveil::PrivateFiles {

// Writes `data` to a new file only the user can read and write, then renames
// it to `path`: readers never see a partial file.
void writeFile(const QString& path, const QByteArray& data);

} // namespace inkveil::PrivateFiles
