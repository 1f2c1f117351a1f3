#include "app/app_model.h"

#include "app/model_messages.h"
#include "core/engine.h"
#include "core/ocr_search.h"
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

// How a search that reads pages ended, carried from its thread.
struct Reading {
    std::vector<RedactionRegion> found;
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

void AppModel::searchSelected()
{
    const QString phrase = m_searchText.trimmed();
    const auto input = selected();
    if (!input || phrase.isEmpty() || m_isReading)
        return;
    const auto document = platform::Document::open(m_context, input->url);
    if (!document || document->pageCount() < 1) {
        reportUnreadable(*input, document != nullptr);
        return;
    }

    const InkveilEngine::SearchReport report = InkveilEngine::search(*document, QStringList{phrase});
    const std::vector<RedactionRegion>& found = report.regions;
    const std::int64_t occurrences = report.phrases.empty() ? 0 : report.phrases.front().count;
    const std::vector<int> pages = InkveilEngine::pagesToRead(*document, m_ocr.mode);
    if (pages.empty()) {
        applySearch(input->id, phrase, found, occurrences, false);
        return;
    }
    InkveilEngine::checkOcrLanguages(m_ocr);

    // Pages take seconds each to read: off the main thread, which stays free
    // for the window and for "Cancel".
    const quint64 id = ++m_readingId;
    const auto model = std::make_shared<const QPointer<AppModel>>(this);
    const QUuid inputId = input->id;
    const auto count = static_cast<std::int64_t>(pages.size());
    setReading(true, ModelMessages::readingProgress(1, count));
    if (m_reader.joinable()) {
        m_reader.request_stop();
        m_reader.join();
    }
    m_reader = std::jthread([path = input->url, pages, phrase, languages = m_ocr.languages, found, occurrences, model, id,
                             inputId, count](std::stop_token stop) {
        Reading reading;
        try {
            const auto progress = [model, id, count](std::int64_t done, std::int64_t) {
                postToMainThread([model, id, done, count] {
                    AppModel* m = model->data();
                    if (m && id == m->m_readingId && m->m_isReading)
                        m->setReading(true, ModelMessages::readingProgress(std::min(done + 1, count), count));
                });
            };
            reading.found = InkveilEngine::ocrRegions(path, pages, {phrase}, languages,
                                                      [&stop] { return stop.stop_requested(); }, progress);
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
        postToMainThread([model, id, inputId, phrase, found, occurrences, reading] {
            AppModel* m = model->data();
            if (!m || id != m->m_readingId)
                return;
            m->setReading(false, QString());
            if (reading.cancelled)
                return;
            if (reading.error) {
                m->setErrorMessage(*reading.error);
                return;
            }
            std::vector<RedactionRegion> all = found;
            all.insert(all.end(), reading.found.begin(), reading.found.end());
            // Each line read as a picture counts as one occurrence.
            m->applySearch(inputId, phrase, all, occurrences + static_cast<std::int64_t>(reading.found.size()), true);
        });
    });
}

void AppModel::applySearch(const QUuid& id, const QString& phrase, const std::vector<RedactionRegion>& found,
                           std::int64_t occurrences, bool pagesRead)
{
    // The input may have gone while its pages were read.
    if (std::none_of(m_inputs.begin(), m_inputs.end(), [&](const RedactInput& i) { return i.id == id; }))
        return;
    QList<RedactionRegion> merged;
    QSet<RedactionRegion> seen;
    for (const RedactionRegion& region : m_marks.value(id)) {
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
    if (found.empty()) {
        setErrorMessage(pagesRead ? ModelMessages::phraseNotRead(phrase) : ModelMessages::phraseNotFound(phrase));
        return;
    }
    std::stable_sort(merged.begin(), merged.end(), readsBefore);
    m_marks[id] = merged;
    Q_EMIT marksChanged();

    m_searchTerms[id].append(phrase);
    m_phraseCounts[id][phrase] = occurrences;
    Q_EMIT searchTermsChanged();

    if (m_searchText.trimmed() == phrase)
        setSearchText(QString());
    setResultMessage(ModelMessages::phraseMarked(static_cast<qsizetype>(occurrences), phrase));
}

} // namespace inkveil
