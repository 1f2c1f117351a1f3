#include "core/engine.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <numeric>
#include <vector>

namespace inkveil::InkveilEngine {

namespace {

QString standardized(const QString& location)
{
    return QDir::cleanPath(QDir::isAbsolutePath(location) ? location : QDir::current().absoluteFilePath(location));
}

// The extension is what follows the last dot of the name, compared without
// case; a name that is only ".pdf" has none.
bool hasPdfExtension(QStringView path)
{
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    return name.size() > 4 && name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
}

// Hidden entries are neither listed nor descended into (QDir::Hidden and
// QDir::AllDirs both left out); links to folders are listed but not followed,
// so a walk always ends. System entries (sockets, pipes, dangling links) are
// left out: a pipe named like a PDF would block whoever opens it.
void walk(const QString& folder, QStringList& found)
{
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (hasPdfExtension(path))
            found.append(QDir::cleanPath(path));
    }
}

// The file browser's order: letters without case, digit runs by value, in the
// user's locale. The C locale collates by code point and ignores numeric
// mode, so it borrows US English rules.
QCollator pathCollator()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

void sortPaths(QStringList& paths)
{
    const QCollator collator = pathCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(paths.size());
    for (const QString& path : std::as_const(paths))
        keys.push_back(collator.sortKey(path));

    std::vector<qsizetype> order(paths.size());
    std::iota(order.begin(), order.end(), qsizetype{0});
    // Paths the collator holds equal (B.pdf and b.pdf) go by code point, so
    // the result never depends on the order of the input.
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int c = keys[a].compare(keys[b]);
        return c != 0 ? c < 0 : paths[a] < paths[b];
    });

    QStringList sorted;
    sorted.reserve(paths.size());
    for (qsizetype i : order)
        sorted.append(paths[i]);
    paths = std::move(sorted);
}

} // namespace

QStringList discover(const QStringList& locations)
{
    QStringList found;
    for (const QString& location : locations) {
        if (location.isEmpty())
            continue;
        const QString path = standardized(location);
        // Follows a final link: a link to a folder is walked.
        const QFileInfo info(path);
        if (info.isDir() && info.isReadable())
            walk(path, found);
        else if (hasPdfExtension(path))
            found.append(path);
    }

    QSet<QString> seen;
    seen.reserve(found.size());
    QStringList unique;
    unique.reserve(found.size());
    for (QString& path : found) {
        if (!seen.contains(path)) {
            seen.insert(path);
            unique.append(std::move(path));
        }
    }
    sortPaths(unique);
    return unique;
}

} // namespace inkveil::InkveilEngine
