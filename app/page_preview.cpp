#include "app/app_model.h"

#include "app/preview_image.h"
#include "platform/pdf_document.h"

#include <algorithm>

namespace inkveil {

namespace {

// Smaller than half a percent of the page in either direction: a click, not a mark.
constexpr double kSmallestMark = 0.005;

} // namespace

void AppModel::refreshPreview()
{
    guarded([this] {
        const auto input = selected();
        if (!input) {
            setPreviewImage({});
            return;
        }
        const auto document = platform::Document::open(m_context, input->url);
        if (!document || document->pageCount() < 1) {
            setPreviewImage({});
            reportUnreadable(*input, document != nullptr);
            return;
        }
        const int clamped = std::min(std::max(m_currentPage, 0), document->pageCount() - 1);
        if (clamped != m_currentPage) {
            setCurrentPage(clamped); // refreshes again, in range
            return;
        }
        QImage image;
        if (auto page = document->page(m_currentPage))
            image = renderPreview(m_context, *page);
        setPreviewImage(image);
        if (image.isNull())
            reportUnreadable(*input, false);
    });
}

// The file changed or went away after it was added.
void AppModel::reportUnreadable(const RedactInput& input, bool readableButEmpty)
{
    setErrorMessage(readableButEmpty ? InkveilError::empty(input.url).description()
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

void AppModel::addMark(const Rect& normalizedRect)
{
    const auto input = selected();
    if (!input)
        return;
    const Rect size = normalizedRect.standardized();
    if (!(size.width > kSmallestMark) || !(size.height > kSmallestMark))
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
    if (entry == m_marks.end())
        return;
    entry->removeAll(region);
    Q_EMIT marksChanged();
}

void AppModel::clearSelectedMarks()
{
    const auto input = selected();
    if (!input)
        return;
    m_marks[input->id] = {};
    Q_EMIT marksChanged();
    m_searchTerms[input->id] = {};
    m_phraseCounts.remove(input->id);
    m_patternNames.remove(input->id);
    m_expressions.remove(input->id);
    Q_EMIT searchTermsChanged();
    setResultMessage(std::nullopt);
}

} // namespace inkveil
