#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

// The helper that replaces the installed bundle once the program has ended.
// It is the program itself, started again with kCommand and the arguments
// below, so it runs nothing that another user could have written.
namespace inkveil::BundleSwap {

inline constexpr char kCommand[] = "--inkveil-swap";

struct Request {
    qint64 processId = 0;   // wait for this process to end
    QByteArray workFolder;  // beside the destination, private to the user
    QByteArray bundleName;  // the new bundle's name inside workFolder
    QByteArray destination; // the installed bundle
    QByteArray trustedKey;
    QString identifier;
    QString version;
};

QByteArrayList arguments(const Request& request);

// Call first in main(). When the arguments are kCommand's, waits for the
// process to end, checks the location and the new bundle again (fixing its
// modes), exchanges it with the installed bundle in one step, removes the work
// folder with the old bundle in it, and starts the installed bundle's AppRun
// in its place; a failed check or swap removes the work folder and relaunches
// the old bundle. Returns only when there was nothing to do (nothing) or the
// relaunch failed (an exit status).
std::optional<int> runIfAsked(int argc, char** argv);

enum class Method { exchange, renames };

// Puts workFolder/bundleName in destination's place and the old bundle in
// workFolder, with one renameat2(RENAME_EXCHANGE) where the file system
// supports it and otherwise (or with Method::renames) by two renames that
// put the old bundle back if the second fails. The name always holds a whole
// bundle, except for an instant between the two renames. False on failure.
bool swapFolders(const QByteArray& destination, const QByteArray& workFolder, const QByteArray& bundleName,
                 Method method = Method::exchange);

// Removes a folder and what it holds without following links.
void removeTree(const QByteArray& path);

} // namespace inkveil::BundleSwap
