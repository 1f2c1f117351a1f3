#pragma once

#include <QString>

#include <exception>
#include <string>

namespace inkveil {

// Base of every error the engine throws: one user-facing description.
class Error : public std::exception {
public:
    virtual QString description() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string m_what;
};

// The engine's own failures, with their fixed texts.
class InkveilError : public Error {
public:
    enum class Kind { unreadable, empty, verificationFailed, noRedactions, invalidRegion, cancelled, notFound, damagedPage, pageNotDrawn };

    static InkveilError unreadable(const QString& source) { return {Kind::unreadable, source}; }
    static InkveilError empty(const QString& source) { return {Kind::empty, source}; }
    static InkveilError verificationFailed(const QString& reason) { return {Kind::verificationFailed, reason}; }
    static InkveilError noRedactions() { return {Kind::noRedactions, {}}; }
    static InkveilError invalidRegion() { return {Kind::invalidRegion, {}}; }
    static InkveilError cancelled() { return {Kind::cancelled, {}}; }
    // The plan held only phrases, and none of them occurs in source.
    static InkveilError notFound(const QString& phrase, const QString& source)
    {
        InkveilError error(Kind::notFound, source);
        error.m_phrase = phrase;
        return error;
    }

    // MuPDF drew a page of source (zero-based) with errors, so content may be
    // missing from it; nothing was written.
    static InkveilError damagedPage(const QString& source, int pageIndex)
    {
        InkveilError error(Kind::damagedPage, source);
        error.m_pageIndex = pageIndex;
        return error;
    }

    // A page of source could not be drawn within the limits on memory, size
    // and time; nothing was written.
    static InkveilError pageNotDrawn(const QString& source, int pageIndex)
    {
        InkveilError error(Kind::pageNotDrawn, source);
        error.m_pageIndex = pageIndex;
        return error;
    }

    Kind kind() const { return m_kind; }
    // The source's path for unreadable, empty, notFound, damagedPage and pageNotDrawn; the reason for
    // verificationFailed.
    const QString& payload() const { return m_payload; }
    // The phrase for notFound.
    const QString& phrase() const { return m_phrase; }
    // The zero-based page for damagedPage and pageNotDrawn.
    int pageIndex() const { return m_pageIndex; }
    QString description() const override;

    friend bool operator==(const InkveilError& a, const InkveilError& b)
    {
        return a.m_kind == b.m_kind && a.m_payload == b.m_payload && a.m_phrase == b.m_phrase
            && a.m_pageIndex == b.m_pageIndex;
    }

private:
    InkveilError(Kind kind, QString payload) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    QString m_payload;
    QString m_phrase;
    int m_pageIndex = -1;
};

// A file system failure (creating the destination, writing the output), passed on
// with the system's own message.
class FileError : public Error {
public:
    FileError(QString path, QString message, int errorNumber = 0)
        : m_path(std::move(path)), m_message(std::move(message)), m_errno(errorNumber)
    {
    }
    // From errno: "<strerror>: <path>"
    static FileError fromErrno(const QString& path, int errorNumber);

    const QString& path() const { return m_path; }
    int errorNumber() const { return m_errno; }
    QString description() const override { return m_message; }

private:
    QString m_path;
    QString m_message;
    int m_errno;
};

// Reasons carried by verificationFailed.
namespace Reason {
inline const QString couldNotCreatePdf = QStringLiteral("could not create the PDF");
inline const QString sourcePageUnreadable = QStringLiteral("a source page is unreadable");
inline const QString renderedPageInvalid = QStringLiteral("a rendered page is invalid");
inline const QString pageCountChanged = QStringLiteral("page count changed");
inline const QString pageSizeChanged = QStringLiteral("a page's size or rotation changed");
inline const QString pageUnreadable = QStringLiteral("a page is unreadable");
inline const QString textSelectable = QStringLiteral("redacted text remains selectable");
inline const QString hiddenContent = QStringLiteral("hidden text, annotations or personal metadata remain");
inline const QString markNotCovered = QStringLiteral("a marked area is not fully covered");
inline const QString phraseReadable = QStringLiteral("a search phrase can still be read");
} // namespace Reason

} // namespace inkveil
