#include "core/engine.h"

#include <QFileInfo>

#include <limits>

namespace inkveil::InkveilEngine {

namespace {

// Anything at the path is taken, a dangling link included: the atomic write
// would otherwise replace the link itself.
bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString availableURL(const QString& folder, const QString& base)
{
    const QString stem = folder.endsWith(u'/') ? folder + base : folder + u'/' + base;
    const QString extension = QStringLiteral(".pdf");
    QString candidate = stem + extension;
    for (qint64 n = 2; isTaken(candidate) && n < std::numeric_limits<qint64>::max(); ++n)
        candidate = stem + u' ' + QString::number(n) + extension;
    return candidate;
}

} // namespace inkveil::InkveilEngine
