#pragma once

#include <QHashFunctions>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <functional>

namespace inkveil {

// One offered update. Only Updater::check makes these, and only for a version
// newer than the running one.
struct UpdateInfo {
    QString version;   // exactly as the manifest writes it
    QUrl downloadURL;  // always https with a host
    QString notes;     // empty when the manifest has none

    friend bool operator==(const UpdateInfo&, const UpdateInfo&) = default;
};

inline size_t qHash(const UpdateInfo& info, size_t seed = 0)
{
    return qHashMulti(seed, info.version, info.downloadURL, info.notes);
}

} // namespace inkveil

template <>
struct std::hash<inkveil::UpdateInfo> {
    std::size_t operator()(const inkveil::UpdateInfo& info) const noexcept { return inkveil::qHash(info); }
};
