#include "cli/phrase_report.h"

#include "cli/console.h"

#include <QJsonArray>

namespace inkveil::cli {

QJsonObject occurrencesJson(const PhraseOccurrences& occurrences)
{
    QJsonArray pages;
    for (const auto& [page, count] : occurrences.pages) {
        pages.append(QJsonObject{{QStringLiteral("page"), static_cast<qint64>(page) + 1},
                                 {QStringLiteral("occurrences"), static_cast<qint64>(count)}});
    }
    return QJsonObject{{QStringLiteral("phrase"), occurrences.phrase},
                       {QStringLiteral("occurrences"), static_cast<qint64>(occurrences.count)},
                       {QStringLiteral("pages"), pages}};
}

QJsonObject patternOccurrencesJson(const PhraseOccurrences& occurrences)
{
    QJsonObject object = occurrencesJson(occurrences);
    object.remove(QStringLiteral("phrase"));
    object.insert(QStringLiteral("pattern"), occurrences.phrase);
    return object;
}

void warnNotFound(const std::vector<PhraseOccurrences>& phrases, const QString& source)
{
    for (const PhraseOccurrences& occurrences : phrases) {
        if (occurrences.count == 0)
            printErr(QStringLiteral("warning: \"%1\" was not found in %2").arg(occurrences.phrase, source));
    }
}

} // namespace inkveil::cli
