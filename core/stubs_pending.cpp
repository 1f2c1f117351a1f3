// Placeholders until discovery, naming and search land.
#include "core/engine.h"
#include <QDir>
#include <QFileInfo>
namespace inkveil::InkveilEngine {
QString availableURL(const QString& folder, const QString& base)
{
    QString candidate = QDir(folder).filePath(base + QStringLiteral(".pdf"));
    for (qint64 n = 2; QFileInfo::exists(candidate); ++n)
        candidate = QDir(folder).filePath(base + QStringLiteral(" ") + QString::number(n) + QStringLiteral(".pdf"));
    return candidate;
}
std::vector<RedactionRegion> searchRegions(platform::Document&, const QStringList&) { return {}; }
QStringList discover(const QStringList& l) { return l; }
}
