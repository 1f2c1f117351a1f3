#pragma once

#include <QString>

namespace inkveil::UpdateArchive {

struct Limits {
    qint64 maxUnpackedBytes = qint64(4) << 30;
    qint64 maxEntries = 100'000;
};

// Unpacks a zip archive into `folder`, which must not exist yet and is made
// private to the user. Refuses, with UpdateFailure(unpack), an unreadable
// archive and any entry that is absolute, has a ".." component, is neither a
// file, a folder nor a symbolic link, or is a link that leads outside
// `folder`; also an archive that unpacks to more than `limits` allow. What was
// unpacked before a refusal stays in `folder`.
void unpack(const QString& archive, const QString& folder, const Limits& limits = {});

} // namespace inkveil::UpdateArchive
