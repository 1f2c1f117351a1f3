#include "core/errors.h"

#include <QFileInfo>

namespace inkveil {

const char* Error::what() const noexcept
{
    m_what = description().toStdString();
    return m_what.c_str();
}

QString InkveilError::description() const
{
    switch (m_kind) {
    case Kind::unreadable:
        return QStringLiteral("Could not read %1.").arg(QFileInfo(m_payload).fileName());
    case Kind::empty:
        return QStringLiteral("%1 contains no pages.").arg(QFileInfo(m_payload).fileName());
    case Kind::verificationFailed:
        return QStringLiteral("The redacted PDF could not be verified: ") + m_payload;
    case Kind::noRedactions:
        return QStringLiteral("Mark an area or add a search phrase before redacting.");
    case Kind::invalidRegion:
        return QStringLiteral("One of the marked areas falls outside its PDF page.");
    case Kind::cancelled:
        return QStringLiteral("Redaction was cancelled. No output was saved.");
    case Kind::notFound:
        return QStringLiteral("No occurrence of \"%1\" was found in %2.").arg(m_phrase, QFileInfo(m_payload).fileName());
    case Kind::pageNotDrawn:
        return QStringLiteral("Page %1 of %2 could not be drawn: it is too large or too complex to draw within the "
                              "limits on memory and time.")
            .arg(m_pageIndex + 1)
            .arg(QFileInfo(m_payload).fileName());
    case Kind::damagedPage:
        return QStringLiteral("Page %1 of %2 could not be drawn completely: its content is damaged.")
            .arg(m_pageIndex + 1)
            .arg(QFileInfo(m_payload).fileName());
    }
    return {};
}

FileError FileError::fromErrno(const QString& path, int errorNumber)
{
    // qt_error_string, unlike strerror, is safe on the engine's worker threads.
    return FileError(path, QStringLiteral("%1: %2").arg(qt_error_string(errorNumber), path), errorNumber);
}

} // namespace inkveil
