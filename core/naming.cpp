#include "core/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <unistd.h>

#include <cerrno>
#include <climits>
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

// Room kept for the number of a taken name: " 9999".
constexpr qsizetype kNumberBytes = 5;

qsizetype encodedSize(const QString& name) { return QFile::encodeName(name).size(); }

// The longest start of text, ending between graphemes, whose encoded form has
// at most bytes bytes.
QString truncatedTo(const QString& text, qsizetype bytes)
{
    if (encodedSize(text) <= bytes)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype fits = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
        if (encodedSize(text.left(end)) > bytes)
            break;
        fits = end;
    }
    return text.left(fits);
}

} // namespace

QString redactedBase(const QString& folder, const QString& source)
{
    long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    if (limit <= 0)
        limit = NAME_MAX;
    const QString tail = kRedactedSuffix + QStringLiteral(".pdf");
    const qsizetype room = static_cast<qsizetype>(limit) - encodedSize(tail) - kNumberBytes;
    if (room < 1)
        throw FileError::fromErrno(QDir(folder).filePath(QFileInfo(source).completeBaseName() + tail), ENAMETOOLONG);
    const QString name = QFileInfo(source).completeBaseName();
    QString stem = truncatedTo(name, room);
    // A cut name loses the blanks it would end in.
    if (stem.size() < name.size()) {
        while (!stem.isEmpty() && stem.back().isSpace())
            stem.chop(1);
    }
    return stem + kRedactedSuffix;
}

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
