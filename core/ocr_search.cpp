#include "core/ocr_search.h"
#include "core/ocr_matcher.h"
#include "core/pattern_matcher.h"
#include "core/pixel_geometry.h"

#include "platform/ocr_reader.h"
#include "platform/page_survey.h"
#include "platform/pdf_document.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <thread>
#include <unordered_set>

namespace inkveil {

QString ocrModeName(OcrMode mode)
{
    switch (mode) {
    case OcrMode::automatic:
        return QStringLiteral("auto");
    case OcrMode::always:
        return QStringLiteral("always");
    case OcrMode::off:
        return QStringLiteral("off");
    }
    return QStringLiteral("auto");
}

std::optional<OcrMode> ocrModeFromName(const QString& name)
{
    for (const OcrMode mode : {OcrMode::automatic, OcrMode::always, OcrMode::off}) {
        if (name == ocrModeName(mode))
            return mode;
    }
    return std::nullopt;
}

namespace InkveilEngine {

namespace {

// A larger page is read at a lower resolution: Tesseract needs several bytes
// per pixel of its own, outside the memory limit. 36 MP is a 20 × 20 inch
// page at 300 dpi.
constexpr double kMaxOcrPixels = 36e6;
// Pages read at once: each reader holds its language data and page images.
constexpr unsigned kMaxReaders = 4;

// Around found words, in page units.
constexpr double kMarginX = 2.0;
constexpr double kMarginY = 1.0;

// A page under images for more than this share is taken to be a picture of itself.
constexpr double kPictureCoverage = 0.5;
// Untrusted glyphs beyond this share make the whole text layer suspect.
constexpr double kUntrustedShare = 0.1;

[[noreturn]] void pageNotRead(int pageIndex)
{
    throw InkveilError::verificationFailed(QStringLiteral("page %1 could not be read").arg(pageIndex + 1));
}

bool isDigit(const QString& symbol) { return symbol.size() == 1 && symbol.front().isDigit(); }

bool isHexDigit(const QString& symbol)
{
    return symbol.size() == 1 && symbol.front().unicode() < 0x80 && std::isxdigit(symbol.front().unicode());
}

// Where the text of each symbol starts a new piece for patterns: a new word,
// or a wider step between two digits of a word than the line's digits
// usually take. OCR often reads "4111 1111" as one word, but the space
// between the groups still shows in where the digits stand.
std::vector<bool> breaksBefore(const std::vector<platform::OcrWord>& words, const std::vector<std::size_t>& symbolWord,
                               const std::vector<int>& wordLine)
{
    std::vector<bool> breaks(symbolWord.size(), false);
    std::vector<const platform::OcrSymbol*> symbols;
    for (const platform::OcrWord& word : words) {
        for (const platform::OcrSymbol& s : word.symbols)
            symbols.push_back(&s);
    }
    const auto step = [&](std::size_t i) { return (symbols[i]->box.minX() + symbols[i]->box.maxX() - symbols[i - 1]->box.minX() - symbols[i - 1]->box.maxX()) / 2; };
    std::size_t from = 0;
    while (from < symbols.size()) {
        std::size_t to = from + 1;
        while (to < symbols.size() && wordLine[symbolWord[to]] == wordLine[symbolWord[from]])
            ++to;
        std::vector<double> steps;
        for (std::size_t i = from + 1; i < to; ++i) {
            if (symbolWord[i] == symbolWord[i - 1] && isDigit(symbols[i]->text) && isDigit(symbols[i - 1]->text))
                steps.push_back(step(i));
        }
        double usual = 0;
        if (steps.size() >= 3) {
            auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
            std::nth_element(steps.begin(), middle, steps.end());
            usual = *middle;
        }
        for (std::size_t i = from; i < to; ++i) {
            breaks[i] = i == 0 || symbolWord[i] != symbolWord[i - 1]
                || (usual > 0 && isDigit(symbols[i]->text) && isDigit(symbols[i - 1]->text) && step(i) > 1.4 * usual);
            // OCR sets a colon apart from the hex digits it joins ("2001 :db8::1").
            if (breaks[i] && i > from
                && ((symbols[i]->text == u":" && isHexDigit(symbols[i - 1]->text))
                    || (symbols[i - 1]->text == u":" && isHexDigit(symbols[i]->text))))
                breaks[i] = false;
        }
        from = to;
    }
    return breaks;
}

// The regions of one page's matches: per text line, the box around the words
// the match touches.
void addRegions(const std::vector<platform::OcrWord>& words, const Rect& mediaBox, int pageIndex,
                const OcrMatcher& matcher, std::unordered_set<RedactionRegion>& regions,
                std::map<QString, std::int64_t>* occurrences, const PatternSet* patterns,
                OcrPatternFindings* patternFindings)
{
    std::vector<QString> symbols;
    std::vector<std::size_t> symbolWord;
    std::vector<int> wordLine(words.size());
    int line = 0;
    for (std::size_t w = 0; w < words.size(); ++w) {
        wordLine[w] = line;
        for (const platform::OcrSymbol& s : words[w].symbols) {
            symbols.push_back(s.text);
            symbolWord.push_back(w);
        }
        if (words[w].endsLine)
            ++line;
    }
    std::vector<OcrMatcher::Match> matches = matcher.find(symbols);
    if (patterns && !patterns->isEmpty()) {
        const std::vector<bool> breaks = breaksBefore(words, symbolWord, wordLine);
        // The page as one text finds a number broken across lines; each line
        // on its own finds the numbers of a list, one to a line, that run
        // together when read as one.
        std::vector<PatternMatcher::Match> found;
        const auto read = [&](std::size_t from, std::size_t to) {
            PatternMatcher patternMatcher(*patterns);
            for (std::size_t i = from; i < to; ++i) {
                if (i > from && breaks[i])
                    patternMatcher.appendBreak();
                for (const char32_t c : symbols[i].toUcs4())
                    patternMatcher.append(c, static_cast<std::int64_t>(i));
            }
            for (const PatternMatcher::Match& match : patternMatcher.takeMatches(true)) {
                const bool seen = std::any_of(found.begin(), found.end(), [&](const PatternMatcher::Match& other) {
                    return other.pattern == match.pattern && other.first <= match.last && match.first <= other.last;
                });
                if (!seen)
                    found.push_back(match);
            }
        };
        read(0, symbols.size());
        for (std::size_t from = 0; from < symbols.size();) {
            std::size_t to = from + 1;
            while (to < symbols.size() && wordLine[symbolWord[to]] == wordLine[symbolWord[from]])
                ++to;
            read(from, to);
            from = to;
        }
        for (const PatternMatcher::Match& match : found) {
            // Numbered below the phrases: -2 is the first pattern.
            matches.push_back(OcrMatcher::Match{match.first, match.last, -2 - match.pattern});
            if (patternFindings) {
                ++patternFindings->counts[patterns->label(match.pattern)];
                QString text;
                for (std::int64_t i = match.first; i <= match.last; ++i) {
                    if (i > match.first && breaks[static_cast<std::size_t>(i)])
                        text += u' ';
                    text += symbols[static_cast<std::size_t>(i)];
                }
                patternFindings->texts.append(text);
            }
        }
    }
    for (const OcrMatcher::Match& match : matches) {
        if (occurrences && match.phrase >= 0)
            ++(*occurrences)[matcher.phraseText(match.phrase)];
        std::pair<QString, QString> description;
        if (patternFindings) {
            for (std::int64_t i = match.first; i <= match.last; ++i) {
                if (i > match.first && symbolWord[static_cast<std::size_t>(i)] != symbolWord[static_cast<std::size_t>(i - 1)])
                    description.first += u' ';
                description.first += symbols[static_cast<std::size_t>(i)];
            }
            description.second = match.phrase >= 0 ? kPhraseKind : patterns->kind(-2 - match.phrase);
        }
        const std::size_t firstWord = symbolWord[static_cast<std::size_t>(match.first)];
        const std::size_t lastWord = symbolWord[static_cast<std::size_t>(match.last)];
        for (std::size_t w = firstWord; w <= lastWord;) {
            Rect bounds = words[w].box;
            const int l = wordLine[w];
            for (++w; w <= lastWord && wordLine[w] == l; ++w)
                bounds = bounds.united(words[w].box);
            const auto clipped = bounds.insetBy(-kMarginX, -kMarginY).intersected(mediaBox.standardized());
            if (!clipped)
                continue;
            if (const auto normalized = normalize(*clipped, mediaBox)) {
                const RedactionRegion region(pageIndex, *normalized);
                regions.insert(region);
                if (patternFindings)
                    patternFindings->described.emplace(region, description);
            }
        }
    }
}

// One reading thread: its own MuPDF context, document and Tesseract.
class PageReader {
public:
    PageReader(const QString& path, const QString& languages, int dpi, bool acceptDamaged)
        : m_path(path), m_reader(languages), m_dpi(dpi), m_acceptDamaged(acceptDamaged)
    {
        m_document = platform::Document::open(m_ctx, path);
    }

    // The page's words with boxes in page space. Throws InkveilError.
    std::vector<platform::OcrWord> read(int pageIndex, Rect& mediaBox, const CancelCheck& shouldCancel)
    {
        std::optional<platform::Page> page = m_document ? m_document->page(pageIndex) : std::nullopt;
        if (!page)
            pageNotRead(pageIndex);
        mediaBox = page->mediaBox();
        const Rect box = mediaBox.standardized();
        double scale = m_dpi / 72.0;
        if (box.width * box.height * scale * scale > kMaxOcrPixels)
            scale = std::sqrt(kMaxOcrPixels / (box.width * box.height));
        const auto pw = pixelExtent(box.width, scale);
        const auto ph = pixelExtent(box.height, scale);
        if (!pw || !ph)
            pageNotRead(pageIndex);
        const platform::Matrix pageToPixel{scale, 0, 0, -scale, -box.x * scale, static_cast<double>(*ph) + box.y * scale};
        try {
            m_pixels.reset(static_cast<int>(*pw), static_cast<int>(*ph), 1);
            fz_cookie cookie{};
            page->renderContents(m_ctx, m_pixels, pageToPixel, &cookie, shouldCancel);
            if (cookie.errors > 0 && !m_acceptDamaged)
                throw InkveilError::damagedPage(m_path, pageIndex);
            return m_reader.read(m_pixels, static_cast<int>(std::lround(scale * 72.0)), pageToPixel, shouldCancel);
        } catch (const platform::PdfError& e) {
            if (e.aborted())
                throw InkveilError::cancelled();
            pageNotRead(pageIndex);
        } catch (const platform::OcrError& e) {
            if (e.kind() == platform::OcrError::Kind::cancelled)
                throw InkveilError::cancelled();
            pageNotRead(pageIndex);
        } catch (const std::bad_alloc&) {
            pageNotRead(pageIndex);
        }
    }

private:
    QString m_path;
    platform::Context m_ctx;
    std::unique_ptr<platform::Document> m_document;
    platform::OcrReader m_reader;
    int m_dpi;
    bool m_acceptDamaged;
    platform::PixelBuffer m_pixels;
};

// Readers of all documents together, when several are redacted side by side:
// each holds language data and page images outside MuPDF's memory limit.
std::counting_semaphore<kMaxReaders>& readerSlots()
{
    static std::counting_semaphore<kMaxReaders> slots(
        static_cast<std::ptrdiff_t>(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxReaders)));
    return slots;
}

// One reader's place among them, waited for until cancelled.
class ReaderSlot {
public:
    explicit ReaderSlot(const CancelCheck& cancelled)
    {
        while (!readerSlots().try_acquire_for(std::chrono::milliseconds(50))) {
            if (cancelled())
                throw InkveilError::cancelled();
        }
    }
    ~ReaderSlot() { readerSlots().release(); }
    ReaderSlot(const ReaderSlot&) = delete;
    ReaderSlot& operator=(const ReaderSlot&) = delete;
};

} // namespace

bool textLayerFallsShort(const platform::PageSurvey& survey)
{
    if (survey.visibleGlyphs == 0 || survey.imageCoverage > kPictureCoverage)
        return true;
    return static_cast<double>(survey.untrustedGlyphs) > kUntrustedShare * static_cast<double>(survey.visibleGlyphs);
}

std::vector<int> pagesToRead(platform::Document& document, OcrMode mode)
{
    std::vector<int> pages;
    for (int i = 0; mode != OcrMode::off && i < document.pageCount(); ++i) {
        bool read = mode == OcrMode::always;
        if (!read) {
            auto page = document.page(i);
            try {
                read = !page || textLayerFallsShort(platform::surveyPage(document.context(), *page));
            } catch (const platform::PdfError&) {
                read = true;
            }
        }
        if (read)
            pages.push_back(i);
    }
    return pages;
}

void checkOcrLanguages(const OcrSettings& settings)
{
    if (settings.mode == OcrMode::off)
        return;
    if (const auto problem = platform::OcrReader::languageProblem(settings.languages))
        throw OcrUnavailable(*problem);
}

std::vector<RedactionRegion> ocrRegions(const QString& path, const std::vector<int>& pages, const QStringList& terms,
                                        const QString& languages, const CancelCheck& shouldCancel,
                                        const PageProgress& reading, int dpi, bool tolerant,
                                        std::map<QString, std::int64_t>* occurrences, bool acceptDamaged,
                                        const PatternSet* patterns, OcrPatternFindings* patternFindings)
{
    QStringList phrases;
    for (const QString& term : terms) {
        if (!term.trimmed().isEmpty())
            phrases.append(term.trimmed());
    }
    const OcrMatcher matcher(phrases, tolerant);
    if (pages.empty() || (!matcher.hasPhrases() && (!patterns || patterns->isEmpty())))
        return {};
    if (const auto problem = platform::OcrReader::languageProblem(languages))
        throw OcrUnavailable(*problem);

    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex; // guards everything below
    std::unordered_set<RedactionRegion> regions;
    std::exception_ptr failure;
    std::int64_t done = 0;
    const auto count = static_cast<std::int64_t>(pages.size());
    const CancelCheck cancelled = [&] { return stop.load() || (shouldCancel && shouldCancel()); };

    const auto work = [&] {
        try {
            const ReaderSlot slot(cancelled);
            PageReader reader(path, languages, std::clamp(dpi, 72, 600), acceptDamaged);
            for (std::size_t i; (i = next++) < pages.size();) {
                if (cancelled())
                    throw InkveilError::cancelled();
                Rect mediaBox;
                const std::vector<platform::OcrWord> words = reader.read(pages[i], mediaBox, cancelled);
                std::lock_guard lock(mutex);
                addRegions(words, mediaBox, pages[i], matcher, regions, occurrences, patterns, patternFindings);
                ++done;
                if (reading)
                    reading(done, count);
            }
        } catch (const platform::OcrError& e) {
            std::lock_guard lock(mutex);
            if (!failure)
                failure = std::make_exception_ptr(OcrUnavailable(e.message()));
            stop = true;
        } catch (...) {
            std::lock_guard lock(mutex);
            // The first failure is the one to report; a cancellation that it
            // caused in the other readers is not.
            if (!failure)
                failure = std::current_exception();
            stop = true;
        }
    };
    const unsigned readers = std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxReaders);
    {
        std::vector<std::jthread> threads;
        for (unsigned t = 1; t < std::min<std::size_t>(readers, pages.size()); ++t)
            threads.emplace_back(work);
        work();
    }
    if (failure)
        std::rethrow_exception(failure);
    if (shouldCancel && shouldCancel())
        throw InkveilError::cancelled();

    std::vector<RedactionRegion> sorted(regions.begin(), regions.end());
    sortTopDown(sorted);
    return sorted;
}

} // namespace InkveilEngine

} // namespace inkveil
