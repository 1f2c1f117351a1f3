#pragma once

#include <QString>

namespace inkveil::UpdateArchive {

struct Limits {
    qint64 maxUnpackedBytes = qint64(4) << 30;
    qint64 maxEntries = 100'000;
};

// Unpacks a zip archive that holds one application folder ("<name>.app" and
// what lies below it) into `folder`, an existing folder private to the user,
// and returns the application folder's path. The archive's directory is read
// whole before anything is written: an archive whose top level is not one
// "*.app" entry is refused with UpdateFailure(notFound) when it has none and
// UpdateFailure(unpack) otherwise; so is, with unpack, an unreadable archive,
// an entry that is absolute, has a ".." component, is neither a file, a
// folder nor a symbolic link, is a link that leads outside the application
// folder, or is larger than its declared size, and an archive that declares
// more than `limits` allow. Folders get mode 0755 and files 0755 or 0644 by
// whether their owner may run them, whatever the archive says and whatever
// the umask. What was unpacked before a refusal stays in `folder`.
QString unpack(const QString& archive, const QString& folder, const Limits& limits = {});

} // namespace inkveil::UpdateArchive
