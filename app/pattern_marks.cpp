#include "app/app_model.h"

#include "core/patterns.h"

#include <algorithm>

namespace inkveil {

void AppModel::addPatternMatches(const QStringList& names, const QString& expression)
{
    guarded([&] {
        const QString trimmed = expression.trimmed();
        const QStringList expressions = trimmed.isEmpty() ? QStringList() : QStringList{expression};
        if (!selected() || (names.isEmpty() && expressions.isEmpty()))
            return;
        // A bad expression is refused here, before anything is read.
        const PatternSet patterns(names, expressions);
        startSearch(SearchQuery{QString(), names, expressions});
    });
}

void AppModel::restorePatterns(const QUuid& id, const QStringList& names, const QStringList& expressions)
{
    if (std::none_of(m_inputs.cbegin(), m_inputs.cend(), [&id](const RedactInput& input) { return input.id == id; }))
        return;
    m_patternNames[id] = names;
    m_expressions[id] = expressions;
    Q_EMIT searchTermsChanged();
}

void AppModel::redactWholePage()
{
    const auto input = selected();
    if (!input)
        return;
    const RedactionRegion page(m_currentPage, Rect{0, 0, 1, 1});
    QList<RedactionRegion>& marks = m_marks[input->id];
    if (marks.contains(page))
        return;
    marks.append(page);
    Q_EMIT marksChanged();
    setResultMessage(std::nullopt);
}

void AppModel::repeatMark(const RedactionRegion& mark, int firstPage, int lastPage)
{
    const auto input = selected();
    if (!input || input->pageCount < 1)
        return;
    firstPage = std::max(firstPage, 0);
    lastPage = std::min(lastPage, input->pageCount - 1);
    QList<RedactionRegion>& marks = m_marks[input->id];
    bool added = false;
    for (int page = firstPage; page <= lastPage; ++page) {
        const RedactionRegion copy(page, mark.normalizedRect());
        if (!marks.contains(copy)) {
            marks.append(copy);
            added = true;
        }
    }
    if (!added)
        return;
    Q_EMIT marksChanged();
    setResultMessage(std::nullopt);
}

} // namespace inkveil
