#pragma once

#include "core/records.h"

#include <QJsonObject>
#include <QString>

#include <vector>

namespace inkveil::cli {

// {"phrase": …, "occurrences": n, "pages": [{"page": 1-based, "occurrences": n}, …]}
QJsonObject occurrencesJson(const PhraseOccurrences& occurrences);
// The same for a pattern or expression: "pattern" in place of "phrase".
QJsonObject patternOccurrencesJson(const PhraseOccurrences& occurrences);

// 'warning: "X" was not found in FILE' on standard error for each phrase
// found nowhere in source.
void warnNotFound(const std::vector<PhraseOccurrences>& phrases, const QString& source);

} // namespace inkveil::cli
