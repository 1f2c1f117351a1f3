#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QSet>

#include <algorithm>

namespace inkveil {

namespace {

// Page by page; on a page from the bottom up, then from left to right.
bool readsBefore(const RedactionRegion& a, const RedactionRegion& b)
{
    if (a.pageIndex() != b.pageIndex())
        return a.pageIndex() < b.pageIndex();
    const Rect ra = a.normalizedRect();
    const Rect rb = b.normalizedRect();
    if (ra.minY() != rb.minY())
        return ra.minY() < rb.minY();
    return ra.minX() < rb.minX();
}

} // namespace

void AppModel::addSearchMatches()
{
    guarded([this] { searchSelected(); });
}

void AppModel::searchSelected()
{
    const QString phrase = m_searchText.trimmed();
    const auto input = selected();
    if (!input || phrase.isEmpty())
        return;
    const auto document = platform::Document::open(m_context, input->url);
    if (!document || document->pageCount() < 1) {
        reportUnreadable(*input, document != nullptr);
        return;
    }

    const InkveilEngine::SearchReport report = InkveilEngine::search(*document, QStringList{phrase});
    const std::vector<RedactionRegion>& found = report.regions;
    if (found.empty()) {
        setErrorMessage(ModelMessages::phraseNotFound(phrase));
        return;
    }

    QList<RedactionRegion> merged;
    QSet<RedactionRegion> seen;
    for (const RedactionRegion& region : m_marks.value(input->id)) {
        if (!seen.contains(region)) {
            seen.insert(region);
            merged.append(region);
        }
    }
    for (const RedactionRegion& region : found) {
        if (!seen.contains(region)) {
            seen.insert(region);
            merged.append(region);
        }
    }
    std::stable_sort(merged.begin(), merged.end(), readsBefore);
    m_marks[input->id] = merged;
    Q_EMIT marksChanged();

    m_searchTerms[input->id].append(phrase);
    m_phraseCounts[input->id][phrase] = report.phrases.empty() ? 0 : report.phrases.front().count;
    Q_EMIT searchTermsChanged();

    setSearchText(QString());
    setResultMessage(ModelMessages::phraseMarked(static_cast<qsizetype>(report.phrases.empty() ? found.size() : report.phrases.front().count), phrase));
}

} // namespace inkveil
