#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "core/ocr_search.h"
#include "core/patterns.h"
#include "platform/ocr_reader.h"
#include "platform/pdf_document.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <memory>

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

template <typename Work>
void postToMainThread(Work&& work)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::forward<Work>(work), Qt::QueuedConnection);
}

// How a search ended, carried from its thread.
struct Reading {
    std::vector<RedactionRegion> found;
    QHash<RedactionRegion, QString> texts;
    QHash<RedactionRegion, QString> kinds; // of the text layer's pattern matches
    std::int64_t occurrences = 0;
    bool pagesRead = false;
    std::optional<QString> error;
    bool cancelled = false;
};

} // namespace

void AppModel::addSearchMatches()
{
    guarded([this] { searchSelected(); });
}

void AppModel::cancelReading()
{
    if (m_reader.joinable())
        m_reader.request_stop();
}

QStringList AppModel::ocrLanguages()
{
    QStringList languages = platform::OcrReader::installedLanguages();
    // Script and orientation detection, not a language to read.
    languages.removeAll(QStringLiteral("osd"));
    return languages;
}

void AppModel::setReading(bool reading, const QString& text)
{
    if (m_readingText != text) {
        m_readingText = text;
        Q_EMIT readingTextChanged();
    }
    if (m_isReading != reading) {
        m_isReading = reading;
        Q_EMIT isReadingChanged();
    }
}

// The whole search runs off the main thread: a page of many thousand paths
// takes seconds to read, and reading pages as pictures longer still.
void AppModel::searchSelected()
{
    const QString phrase = m_searchText.trimmed();
    if (!phrase.isEmpty())
        startSearch(SearchQuery{phrase, {}, {}});
}

void AppModel::startSearch(const SearchQuery& query)
{
    const auto input = selected();
    if (!input || m_isReading)
        return;

    const quint64 id = ++m_readingId;
    const auto model = std::make_shared<const QPointer<AppModel>>(this);
    setReading(true, ModelMessages::searching);
    if (m_reader.joinable()) {
        m_reader.request_stop();
        m_reader.join();
    }
    m_reader = std::jthread([input = *input, query, ocr = m_ocr, model, id](std::stop_token stop) {
        Reading reading;
        const QStringList phrases = query.phrase.isEmpty() ? QStringList() : QStringList{query.phrase};
        try {
            platform::Context ctx;
            const auto document = platform::Document::open(ctx, input.url);
            if (!document || document->pageCount() < 1) {
                reading.error = document ? InkveilError::empty(input.url).description()
                                         : InkveilError::unreadable(input.url).description();
            } else {
                const PatternSet patterns(query.patternNames, query.expressions);
                InkveilEngine::SearchReport report = InkveilEngine::search(*document, phrases, patterns);
                reading.found = std::move(report.regions);
                for (const auto& [region, text] : report.matchedText)
                    reading.texts.insert(region, text);
                for (const auto& [region, kind] : report.matchedKind)
                    reading.kinds.insert(region, kind);
                for (const auto* counts : {&report.phrases, &report.patterns}) {
                    for (const PhraseOccurrences& occurrences : *counts)
                        reading.occurrences += occurrences.count;
                }
                const std::vector<int> pages = stop.stop_requested()
                                                   ? std::vector<int>{}
                                                   : InkveilEngine::pagesToRead(*document, ocr.mode);
                if (!pages.empty()) {
                    InkveilEngine::checkOcrLanguages(ocr);
                    reading.pagesRead = true;
                    const auto count = static_cast<std::int64_t>(pages.size());
                    postToMainThread([model, id, count] {
                        AppModel* m = model->data();
                        if (m && id == m->m_readingId && m->m_isReading)
                            m->setReading(true, ModelMessages::readingProgress(1, count));
                    });
                    const auto progress = [model, id, count](std::int64_t done, std::int64_t) {
                        postToMainThread([model, id, done, count] {
                            AppModel* m = model->data();
                            if (m && id == m->m_readingId && m->m_isReading)
                                m->setReading(true, ModelMessages::readingProgress(std::min(done + 1, count), count));
                        });
                    };
                    InkveilEngine::OcrPatternFindings findings;
                    const auto regions = InkveilEngine::ocrRegions(
                        input.url, pages, phrases, ocr.languages, [&stop] { return stop.stop_requested(); }, progress,
                        InkveilEngine::kOcrDpi, true, nullptr, false, patterns.isEmpty() ? nullptr : &patterns, &findings);
                    reading.found.insert(reading.found.end(), regions.begin(), regions.end());
                    // Each line of a phrase read as a picture counts as one occurrence.
                    if (!phrases.isEmpty())
                        reading.occurrences += static_cast<std::int64_t>(regions.size());
                    for (const auto& [label, count] : findings.counts)
                        reading.occurrences += count;
                }
            }
            if (stop.stop_requested())
                reading.cancelled = true;
        } catch (const InkveilError& e) {
            if (e.kind() == InkveilError::Kind::cancelled)
                reading.cancelled = true;
            else
                reading.error = e.description();
        } catch (const Error& e) {
            reading.error = e.description();
        } catch (...) {
            reading.error = ModelMessages::unexpectedFailure;
        }
        postToMainThread([model, id, inputId = input.id, query, reading = std::move(reading)] {
            AppModel* m = model->data();
            if (!m || id != m->m_readingId)
                return;
            m->setReading(false, QString());
            if (reading.cancelled)
                return;
            if (reading.error) {
                m->setError(ModelMessages::searchFailedTitle, *reading.error);
                return;
            }
            if (!query.phrase.isEmpty())
                m->applySearch(inputId, query.phrase, reading.found, reading.texts, reading.occurrences, reading.pagesRead);
            else
                m->applyPatternSearch(inputId, query, reading.found, reading.texts, reading.kinds, reading.occurrences);
        });
    });
}

void AppModel::applySearch(const QUuid& id, const QString& phrase, const std::vector<RedactionRegion>& found,
                           const QHash<RedactionRegion, QString>& texts, std::int64_t occurrences, bool pagesRead)
{
    // The input may have gone while its pages were read.
    if (std::none_of(m_inputs.begin(), m_inputs.end(), [&](const RedactInput& i) { return i.id == id; }))
        return;
    if (found.empty()) {
        setError(ModelMessages::notFoundTitle,
                 pagesRead ? ModelMessages::phraseNotRead(phrase) : ModelMessages::phraseNotFound(phrase));
        return;
    }
    markFound(id, found, texts, [&](const RedactionRegion&) { return QStringList{phrase}; });

    m_searchTerms[id].append(phrase);
    m_phraseCounts[id][phrase] = occurrences;
    Q_EMIT searchTermsChanged();

    if (m_searchText.trimmed() == phrase)
        setSearchText(QString());
    setResultMessage(ModelMessages::phraseMarked(static_cast<qsizetype>(occurrences), phrase));
}

void AppModel::applyPatternSearch(const QUuid& id, const SearchQuery& query, const std::vector<RedactionRegion>& found,
                                  const QHash<RedactionRegion, QString>& texts, const QHash<RedactionRegion, QString>& kinds,
                                  std::int64_t occurrences)
{
    if (std::none_of(m_inputs.begin(), m_inputs.end(), [&](const RedactInput& i) { return i.id == id; }))
        return;
    const QStringList labels = query.patternNames + query.expressions;
    if (found.empty()) {
        setError(ModelMessages::notFoundTitle, ModelMessages::patternsNotFound(labels));
        return;
    }
    // A line read as a picture does not say which pattern found it: it goes
    // with all of them.
    markFound(id, found, texts, [&](const RedactionRegion& region) {
        const QString kind = kinds.value(region);
        if (kind.isEmpty())
            return labels;
        return QStringList{kind == PatternSet::kRegex && !query.expressions.isEmpty() ? query.expressions.front() : kind};
    }, true);
    for (const auto& [stored, given] : {std::pair{&m_patternNames, &query.patternNames}, std::pair{&m_expressions, &query.expressions}}) {
        for (const QString& label : *given) {
            if (!(*stored)[id].contains(label))
                (*stored)[id].append(label);
        }
    }
    Q_EMIT searchTermsChanged();
    setResultMessage(ModelMessages::patternsMarked(static_cast<qsizetype>(occurrences), labels));
}

void AppModel::markFound(const QUuid& id, const std::vector<RedactionRegion>& found,
                         const QHash<RedactionRegion, QString>& texts,
                         const std::function<QStringList(const RedactionRegion&)>& labelsOf, bool patterns)
{
    QList<RedactionRegion> merged;
    QSet<RedactionRegion> seen;
    const QList<RedactionRegion> marked = m_marks.value(id);
    std::vector<RedactionRegion> all(marked.begin(), marked.end());
    all.insert(all.end(), found.begin(), found.end());
    for (const RedactionRegion& region : all) {
        if (!seen.contains(region)) {
            seen.insert(region);
            merged.append(region);
        }
    }
    std::stable_sort(merged.begin(), merged.end(), readsBefore);
    m_marks[id] = merged;
    // Asked for again: what this finds is marked, even where removed before.
    QHash<RedactionRegion, FoundMark>& known = m_found[id];
    for (const RedactionRegion& region : found) {
        FoundMark& mark = known[region];
        for (const QString& label : labelsOf(region)) {
            const QString key = patterns ? patternKey(label) : label;
            if (!mark.phrases.contains(key))
                mark.phrases.append(key);
        }
        if (mark.text.isEmpty())
            mark.text = texts.value(region, patterns ? QString() : labelsOf(region).value(0));
        m_exclusions[id].removeAll(region);
    }
    Q_EMIT marksChanged();
}

} // namespace inkveil
