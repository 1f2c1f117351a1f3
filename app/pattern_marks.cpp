#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "core/patterns.h"
#include "platform/pdf_document.h"

#include <QSet>

#include <algorithm>

namespace inkveil {

namespace {

// As a phrase search leaves them: page by page, on a page from the bottom
// up, then from left to right.
void sortMarks(QList<RedactionRegion>& marks)
{
    std::stable_sort(marks.begin(), marks.end(), [](const RedactionRegion& a, const RedactionRegion& b) {
        if (a.pageIndex() != b.pageIndex())
            return a.pageIndex() < b.pageIndex();
        if (a.normalizedRect().minY() != b.normalizedRect().minY())
            return a.normalizedRect().minY() < b.normalizedRect().minY();
        return a.normalizedRect().minX() < b.normalizedRect().minX();
    });
}

} // namespace

void AppModel::addPatternMatches(const QStringList& names, const QString& expression)
{
    guarded([&] {
        const auto input = selected();
        const QString trimmed = expression.trimmed();
        const QStringList expressions = trimmed.isEmpty() ? QStringList() : QStringList{expression};
        if (!input || (names.isEmpty() && expressions.isEmpty()))
            return;
        const PatternSet patterns(names, expressions);
        const auto document = platform::Document::open(m_context, input->url);
        if (!document || document->pageCount() < 1) {
            reportUnreadable(*input, document != nullptr);
            return;
        }
        const InkveilEngine::SearchReport report = InkveilEngine::search(*document, {}, patterns);
        QStringList labels;
        qsizetype found = 0;
        for (const PhraseOccurrences& pattern : report.patterns) {
            labels.append(pattern.phrase);
            found += static_cast<qsizetype>(pattern.count);
        }
        if (report.regions.empty()) {
            setErrorMessage(ModelMessages::patternsNotFound(labels));
            return;
        }

        QList<RedactionRegion> marks = m_marks.value(input->id);
        QSet<RedactionRegion> seen(marks.begin(), marks.end());
        for (const RedactionRegion& region : report.regions) {
            if (!seen.contains(region)) {
                seen.insert(region);
                marks.append(region);
            }
        }
        sortMarks(marks);
        m_marks[input->id] = marks;
        // What each mark covers, and which pattern found it, for the list and
        // so that a removed one stays visible when the run finds it again.
        QHash<RedactionRegion, FoundMark>& known = m_found[input->id];
        for (const RedactionRegion& region : report.regions) {
            const QString kind = report.matchedKind.count(region) ? report.matchedKind.at(region) : QString();
            const QString label = kind == PatternSet::kRegex && !expressions.isEmpty() ? expressions.front() : kind;
            FoundMark& mark = known[region];
            if (!label.isEmpty() && !mark.phrases.contains(patternKey(label)))
                mark.phrases.append(patternKey(label));
            if (mark.text.isEmpty() && report.matchedText.count(region))
                mark.text = report.matchedText.at(region);
            m_exclusions[input->id].removeAll(region);
        }
        Q_EMIT marksChanged();
        for (int i = 0; i < patterns.size(); ++i) {
            QStringList& kept = patterns.kind(i) == PatternSet::kRegex ? m_expressions[input->id] : m_patternNames[input->id];
            if (!kept.contains(patterns.label(i)))
                kept.append(patterns.label(i));
        }
        Q_EMIT searchTermsChanged();
        setResultMessage(ModelMessages::patternsMarked(found, labels));
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
