#pragma once

#include <QString>
#include <QStringList>

// Every text that the application model shows to the user, in one place.
namespace inkveil::ModelMessages {

// Titles of the window's alert: what failed.
inline const QString runFailedTitle = QStringLiteral("Redaction couldn't be completed");
inline const QString addFailedTitle = QStringLiteral("PDFs couldn't be added");
inline const QString showFailedTitle = QStringLiteral("PDF couldn't be shown");
inline const QString notFoundTitle = QStringLiteral("Phrase not found");
inline const QString searchFailedTitle = QStringLiteral("Search couldn't be completed");
inline const QString destinationTitle = QStringLiteral("Destination not available");
// b.pdf couldn't be redacted
QString documentFailedTitle(const QString& fileName);
inline const QString updateFailedTitle = QStringLiteral("Update couldn't be installed");

inline const QString noPdfsFound = QStringLiteral("No readable PDF documents were found.");
inline const QString pdfUnreadable =
    QStringLiteral("The selected PDF could not be read. It may be damaged or incomplete.");
// Some PDFs could not be read and were not added: a.pdf, b.pdf.
QString somePdfsUnreadable(const QStringList& names);
inline const QString destinationNotWritable = QStringLiteral("The selected destination is not writable.");
inline const QString destinationMissing = QStringLiteral("The selected destination does not exist.");
inline const QString destinationGone =
    QStringLiteral("The selected destination was moved or deleted during redaction. No output was saved.");
inline const QString outputGone =
    QStringLiteral("A redacted PDF was moved or deleted before the run finished. No output was saved.");
inline const QString runCancelled = QStringLiteral("Redaction cancelled. No output was saved.");
inline const QString quitUnredactedTitle = QStringLiteral("Quit without redacting?");
inline const QString quitUnredactedText =
    QStringLiteral("Some PDFs have marks that were not redacted yet. Quitting now loses them.");
inline const QString keepWorkingButton = QStringLiteral("Cancel");
inline const QString quitAnywayButton = QStringLiteral("Quit");
inline const QString searching = QStringLiteral("Searching\u2026");
inline const QString unexpectedFailure = QStringLiteral("An unexpected error stopped the redaction.");

// “phrase” was not found as selectable text. …
QString phraseNotFound(const QString& phrase);
// “phrase” was found neither in the text nor on the pages read as pictures.
QString phraseNotRead(const QString& phrase);
// Reading page 3 of 12…
QString readingProgress(qint64 page, qint64 pages);
// Marked 7 occurrences of “phrase”.
QString phraseMarked(qsizetype found, const QString& phrase);
// Marked 3 matches of email, card.
QString patternsMarked(qsizetype found, const QStringList& labels);
// No match of email, card was found as selectable text.
QString patternsNotFound(const QStringList& labels);
// Verified 2 PDFs with 7 permanent redactions.
QString runVerified(qsizetype documents, qint64 redactions);
// Redact 3 PDFs
QString actionTitle(qsizetype readyCount);
// Redacting 2 of 3 · Contract.pdf · finding phrases
QString runSearching(qsizetype document, qsizetype documents, const QString& fileName);
// Redacting 2 of 3 · Contract.pdf · page 4 of 12
QString runProgress(qsizetype document, qsizetype documents, const QString& fileName, qint64 page, qint64 pages);

} // namespace inkveil::ModelMessages
