#include "app/app_model.h"

#include "app/model_messages.h"

#include "platform/pdf_document.h"

#include <QSet>

#include <algorithm>

namespace inkveil {

namespace {

// Smaller than half a percent of the page in either direction: a click, not a mark.
constexpr double kSmallestMark = 0.005;

} // namespace

void AppModel::refreshPreview()
{
    const auto input = selected();
    if (!input) {
        m_preview->cancel();
        ++m_previewNumber;
        setPreviewImage({});
        setIsRendering(false);
        return;
    }
    const int clamped = std::clamp(m_currentPage, 0, std::max(input->pageCount - 1, 0));
    if (clamped != m_currentPage) {
        setCurrentPage(clamped); // refreshes again, in range
        return;
    }
    // The page shown last stays until the new one arrives, unless it belongs
    // to another document.
    if (m_previewInput != input->id)
        setPreviewImage({});
    m_previewInput = input->id;
    m_preview->request({input->url, m_currentPage, ++m_previewNumber});
    setIsRendering(true);
}

void AppModel::applyPreview(const PreviewRenderer::Result& result)
{
    if (result.number != m_previewNumber)
        return;
    const auto input = selected();
    if (!input) {
        setIsRendering(false);
        return;
    }
    if (result.unreadable) {
        setPreviewImage({});
        setIsRendering(false);
        reportUnreadable(*input, result.empty);
        return;
    }
    // The file lost pages since it was added.
    if (result.pageCount > 0 && result.pageCount < input->pageCount) {
        for (RedactInput& listed : m_inputs) {
            if (listed.id == input->id)
                listed.pageCount = result.pageCount;
        }
        Q_EMIT inputsChanged();
        if (m_currentPage >= result.pageCount) {
            setCurrentPage(result.pageCount - 1); // asks again
            return;
        }
    }
    m_previewRotation = result.rotation;
    setPreviewImage(result.image);
    // After the image: whoever waits for the end sees the final one.
    if (result.final)
        setIsRendering(false);
}

void AppModel::setIsRendering(bool rendering)
{
    if (m_isRendering == rendering)
        return;
    m_isRendering = rendering;
    Q_EMIT isRenderingChanged();
}

// The file changed or went away after it was added.
void AppModel::reportUnreadable(const RedactInput& input, bool readableButEmpty)
{
    setError(ModelMessages::showFailedTitle, readableButEmpty ? InkveilError::empty(input.url).description()
                                     : InkveilError::unreadable(input.url).description());
}

void AppModel::previousPage()
{
    if (m_currentPage >= 1)
        setCurrentPage(m_currentPage - 1);
}

void AppModel::nextPage()
{
    const auto input = selected();
    if (input && m_currentPage + 1 < input->pageCount)
        setCurrentPage(m_currentPage + 1);
}

namespace {

// Smaller than this is a slip of the mouse, not a mark.
bool bigEnough(const Rect& normalizedRect)
{
    const Rect size = normalizedRect.standardized();
    return size.width > kSmallestMark && size.height > kSmallestMark;
}

} // namespace

void AppModel::excludeIfFound(const QUuid& id, const RedactionRegion& region)
{
    if (m_found.value(id).contains(region) && !m_exclusions.value(id).contains(region))
        m_exclusions[id].append(region);
}

void AppModel::addMark(const Rect& normalizedRect)
{
    const auto input = selected();
    if (!input)
        return;
    if (!bigEnough(normalizedRect))
        return;
    m_marks[input->id].append(RedactionRegion(m_currentPage, normalizedRect));
    Q_EMIT marksChanged();
    setResultMessage(std::nullopt);
}

void AppModel::removeMark(const RedactionRegion& region)
{
    const auto input = selected();
    if (!input)
        return;
    const auto entry = m_marks.find(input->id);
    if (entry == m_marks.end() || !entry->contains(region))
        return;
    entry->removeAll(region);
    // The stored phrases find it again at run time: it must stay out.
    excludeIfFound(input->id, region);
    if (m_highlightedMark == region)
        setHighlightedMark(std::nullopt);
    Q_EMIT marksChanged();
    setResultMessage(std::nullopt);
}

void AppModel::replaceMark(const RedactionRegion& mark, const Rect& normalizedRect)
{
    const auto input = selected();
    if (!input)
        return;
    if (!bigEnough(normalizedRect))
        return;
    const auto entry = m_marks.find(input->id);
    if (entry == m_marks.end())
        return;
    const qsizetype at = entry->indexOf(mark);
    const RedactionRegion moved(mark.pageIndex(), normalizedRect);
    if (at < 0 || moved == mark)
        return;
    (*entry)[at] = moved;
    // A found occurrence moved by hand is the user's area now; the phrase
    // still covers the old place at run time unless it is excluded.
    excludeIfFound(input->id, mark);
    if (m_highlightedMark == mark)
        setHighlightedMark(moved);
    Q_EMIT marksChanged();
    setResultMessage(std::nullopt);
}

void AppModel::showMark(const RedactionRegion& mark)
{
    if (!selectedMarks().contains(mark))
        return;
    if (mark.pageIndex() != m_currentPage)
        setCurrentPage(static_cast<int>(mark.pageIndex()));
    setHighlightedMark(mark);
}

void AppModel::setHighlightedMark(const std::optional<RedactionRegion>& mark)
{
    if (m_highlightedMark == mark)
        return;
    m_highlightedMark = mark;
    Q_EMIT highlightedMarkChanged();
}

void AppModel::removePhrase(const QString& phrase)
{
    const auto input = selected();
    if (!input || !m_searchTerms.value(input->id).contains(phrase))
        return;
    m_searchTerms[input->id].removeAll(phrase);
    m_phraseCounts[input->id].remove(phrase);
    dropUnstoredFinds(input->id);
}

void AppModel::removePattern(const QString& label)
{
    const auto input = selected();
    if (!input)
        return;
    for (TermsByInput* stored : {&m_patternNames, &m_expressions}) {
        if ((*stored)[input->id].removeAll(label) > 0) {
            dropUnstoredFinds(input->id);
            return;
        }
    }
}

void AppModel::dropUnstoredFinds(const QUuid& id)
{
    QSet<QString> stored;
    for (const QString& phrase : m_searchTerms.value(id))
        stored.insert(phrase);
    for (const TermsByInput* patterns : {&m_patternNames, &m_expressions}) {
        for (const QString& label : patterns->value(id))
            stored.insert(patternKey(label));
    }
    const QHash<RedactionRegion, FoundMark>& found = m_found[id];
    auto unstored = [&](const RedactionRegion& region) {
        const auto it = found.constFind(region);
        return it != found.cend()
            && std::none_of(it->phrases.begin(), it->phrases.end(), [&](const QString& p) { return stored.contains(p); });
    };
    m_marks[id].removeIf(unstored);
    m_exclusions[id].removeIf(unstored);
    if (m_highlightedMark && !m_marks[id].contains(*m_highlightedMark))
        setHighlightedMark(std::nullopt);
    Q_EMIT marksChanged();
    Q_EMIT searchTermsChanged();
    setResultMessage(std::nullopt);
}

QString AppModel::markText(const RedactionRegion& mark) const
{
    if (!m_selection)
        return {};
    return m_found.value(*m_selection).value(mark).text;
}

QList<PhraseMarks> AppModel::selectedPhrases() const
{
    QList<PhraseMarks> phrases;
    if (!m_selection)
        return phrases;
    const QHash<RedactionRegion, FoundMark> found = m_found.value(*m_selection);
    const QList<RedactionRegion> marks = m_marks.value(*m_selection);
    for (const QString& phrase : m_searchTerms.value(*m_selection)) {
        if (std::any_of(phrases.begin(), phrases.end(), [&](const PhraseMarks& p) { return p.phrase == phrase; }))
            continue;
        const auto count = std::count_if(marks.begin(), marks.end(), [&](const RedactionRegion& mark) {
            return found.value(mark).phrases.contains(phrase);
        });
        phrases.append({phrase, static_cast<qsizetype>(count)});
    }
    for (const TermsByInput* patterns : {&m_patternNames, &m_expressions}) {
        for (const QString& label : patterns->value(*m_selection)) {
            const QString key = patternKey(label);
            const auto count = std::count_if(marks.begin(), marks.end(), [&](const RedactionRegion& mark) {
                return found.value(mark).phrases.contains(key);
            });
            phrases.append({label, static_cast<qsizetype>(count), true});
        }
    }
    return phrases;
}

void AppModel::clearSelectedMarks()
{
    const auto input = selected();
    if (!input)
        return;
    m_marks[input->id] = {};
    m_exclusions[input->id] = {};
    setHighlightedMark(std::nullopt);
    Q_EMIT marksChanged();
    m_searchTerms[input->id] = {};
    m_phraseCounts.remove(input->id);
    m_patternNames.remove(input->id);
    m_expressions.remove(input->id);
    Q_EMIT searchTermsChanged();
    setResultMessage(std::nullopt);
}

} // namespace inkveil
