#include "app/model_messages.h"

namespace inkveil::ModelMessages {

namespace {

QString plural(qint64 count, const QString& noun)
{
    return QString::number(count) + u' ' + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

QString documentFailedTitle(const QString& fileName)
{
    return fileName + QStringLiteral(" couldn't be redacted");
}

QString somePdfsUnreadable(const QStringList& names)
{
    return QStringLiteral("Some PDFs could not be read and were not added: %1.").arg(names.join(QStringLiteral(", ")));
}

QString phraseNotFound(const QString& phrase)
{
    return u'\u201C' + phrase
        + QStringLiteral("\u201D was not found as selectable text. Scanned documents may need Mervo Lumora first.");
}

QString phraseNotRead(const QString& phrase)
{
    return u'\u201C' + phrase + QStringLiteral("\u201D was not found in the text or on the pages read as pictures.");
}

QString patternsMarked(qsizetype found, const QStringList& labels)
{
    const QString matches = found == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(found);
    return QStringLiteral("Marked %1 of %2.").arg(matches, labels.join(QStringLiteral(", ")));
}

QString patternsNotFound(const QStringList& labels)
{
    return QStringLiteral("No match of %1 was found as selectable text.").arg(labels.join(QStringLiteral(", ")));
}

QString readingProgress(qint64 page, qint64 pages)
{
    return QStringLiteral("Reading page %1 of %2\u2026").arg(page).arg(pages);
}

QString phraseMarked(qsizetype found, const QString& phrase)
{
    return QStringLiteral("Marked ") + plural(found, QStringLiteral("occurrence")) + QStringLiteral(" of \u201C")
        + phrase + QStringLiteral("\u201D.");
}

QString runVerified(qsizetype documents, qint64 redactions)
{
    return QStringLiteral("Verified ") + plural(documents, QStringLiteral("PDF")) + QStringLiteral(" with ")
        + plural(redactions, QStringLiteral("permanent redaction")) + u'.';
}

QString actionTitle(qsizetype readyCount)
{
    return QStringLiteral("Redact ") + plural(readyCount, QStringLiteral("PDF"));
}

QString runSearching(qsizetype document, qsizetype documents, const QString& fileName)
{
    return QStringLiteral("Redacting %1 of %2 \u00B7 ").arg(document).arg(documents) + fileName
        + QStringLiteral(" \u00B7 finding phrases");
}

// One pass, so a file name holding "%4" is not filled in again.
QString runProgress(qsizetype document, qsizetype documents, const QString& fileName, qint64 page, qint64 pages)
{
    return QStringLiteral("Redacting %1 of %2 \u00B7 %3 \u00B7 page %4 of %5")
        .arg(QString::number(document), QString::number(documents), fileName, QString::number(page),
             QString::number(pages));
}

} // namespace inkveil::ModelMessages
