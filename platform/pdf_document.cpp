#include "platform/pdf_document.h"
#include "platform/resource_limits.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <utility>

namespace inkveil::platform {

namespace {

fz_matrix toFz(const Matrix& m)
{
    return fz_make_matrix(static_cast<float>(m.a), static_cast<float>(m.b), static_cast<float>(m.c),
                          static_cast<float>(m.d), static_cast<float>(m.e), static_cast<float>(m.f));
}

// Owns a structured-text page while it is copied into our own types.
class StextPage {
public:
    StextPage(fz_context* ctx, fz_stext_page* page) : m_ctx(ctx), m_page(page) {}
    ~StextPage() { fz_drop_stext_page(m_ctx, m_page); }
    StextPage(const StextPage&) = delete;
    StextPage& operator=(const StextPage&) = delete;
    fz_stext_page* operator->() const { return m_page; }

private:
    fz_context* m_ctx;
    fz_stext_page* m_page;
};

// MuPDF's page transform is scale(u, -u), then the page's rotation, then a
// move: its linear part gives the unit and the quarter turn that MuPDF draws
// the page with, whatever /Rotate and /UserUnit hold (a negative unit turns
// the page by half).
void unitAndRotation(const fz_matrix& ctm, double& userUnit, int& rotation)
{
    userUnit = std::hypot(static_cast<double>(ctm.a), static_cast<double>(ctm.b));
    if (!std::isfinite(userUnit) || userUnit <= 0)
        userUnit = 1;
    const double degrees = std::atan2(static_cast<double>(ctm.b), static_cast<double>(ctm.a)) * 180.0 / M_PI;
    rotation = (static_cast<int>(std::lround(degrees / 90.0)) % 4 + 4) % 4 * 90;
}

} // namespace

// ---- Page ----------------------------------------------------------------

Page::Page(fz_context* ctx, pdf_page* page, int index, Rect mediaBox, int rotation, double userUnit)
    : m_ctx(ctx), m_page(page), m_index(index), m_mediaBox(mediaBox), m_rotation(rotation), m_userUnit(userUnit)
{
}

Page::~Page()
{
    if (m_page)
        fz_drop_page(m_ctx, &m_page->super);
}

Page::Page(Page&& other) noexcept
    : m_ctx(other.m_ctx),
      m_page(std::exchange(other.m_page, nullptr)),
      m_index(other.m_index),
      m_mediaBox(other.m_mediaBox),
      m_rotation(other.m_rotation),
      m_userUnit(other.m_userUnit)
{
}

// Reads the page's structured text in MuPDF's display space (y down), within the
// page time budget. The caller drops the result. Throws PdfError.
fz_stext_page* Page::loadStext(int flags, bool* complete)
{
    fz_context* ctx = m_ctx;
    fz_stext_page* text = nullptr;
    fz_device* dev = nullptr;
    fz_cookie cookie{};
    Watchdog watchdog(cookie, pageTimeBudget());
    fz_var(text);
    fz_var(dev);
    fz_try(ctx)
    {
        fz_stext_options options{};
        options.flags = flags;
        text = fz_new_stext_page(ctx, pdf_bound_page(ctx, m_page));
        dev = fz_new_stext_device(ctx, text, &options);
        pdf_run_page_contents(ctx, m_page, dev, fz_identity, &cookie);
        fz_close_device(ctx, dev);
    }
    fz_always(ctx) { fz_drop_device(ctx, dev); }
    fz_catch(ctx)
    {
        fz_drop_stext_page(ctx, text);
        text = nullptr;
    }
    if (watchdog.stop() != Watchdog::Verdict::finished) {
        fz_drop_stext_page(ctx, text);
        throw PdfError(FZ_ERROR_GENERIC, "the page's text took too long to read");
    }
    if (!text)
        throw PdfError(fz_caught(ctx), fz_caught_message(ctx));
    if (complete)
        *complete = cookie.errors == 0 && cookie.incomplete == 0;
    return text;
}

std::vector<TextLine> Page::textLines(bool* complete)
{
    fz_context* ctx = m_ctx;
    fz_matrix toPage = fz_identity;
    fz_var(toPage);
    fz_try(ctx)
    {
        fz_matrix pageCtm;
        pdf_page_transform(ctx, m_page, nullptr, &pageCtm);
        toPage = fz_invert_matrix(pageCtm);
    }
    fz_catch(ctx) { throw PdfError(fz_caught(ctx), fz_caught_message(ctx)); }
    const StextPage text(ctx, loadStext(FZ_STEXT_PRESERVE_LIGATURES, complete));

    std::vector<TextLine> lines;
    for (fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            TextLine out;
            for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                const fz_rect r = fz_rect_from_quad(fz_transform_quad(ch->quad, toPage));
                out.chars.push_back(TextChar{static_cast<char32_t>(ch->c), Rect{r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0}});
            }
            if (!out.chars.empty())
                lines.push_back(std::move(out));
        }
    }
    return lines;
}

QString Page::text(bool* complete)
{
    const StextPage text(m_ctx, loadStext(0, complete));

    QString result;
    for (fz_stext_block* block = text->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT)
            continue;
        for (fz_stext_line* line = block->u.t.first_line; line; line = line->next) {
            for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
                const char32_t c = static_cast<char32_t>(ch->c);
                result.append(QString::fromUcs4(&c, 1));
            }
            result.append(u'\n');
        }
    }
    return result;
}

int Page::annotationCount()
{
    int count = 0;
    for (pdf_annot* a = pdf_first_annot(m_ctx, m_page); a; a = pdf_next_annot(m_ctx, a))
        ++count;
    for (pdf_annot* w = pdf_first_widget(m_ctx, m_page); w; w = pdf_next_widget(m_ctx, w))
        ++count;
    return count;
}

void Page::removeAnnotations()
{
    std::vector<pdf_annot*> snapshot;
    for (pdf_annot* a = pdf_first_annot(m_ctx, m_page); a; a = pdf_next_annot(m_ctx, a))
        snapshot.push_back(a);
    for (pdf_annot* w = pdf_first_widget(m_ctx, m_page); w; w = pdf_next_widget(m_ctx, w))
        snapshot.push_back(w);
    fz_context* ctx = m_ctx;
    for (pdf_annot* annot : snapshot) {
        fz_try(ctx) { pdf_delete_annot(ctx, m_page, annot); }
        fz_catch(ctx) {} // Nothing is drawn from annotations anyway.
    }
}

void Page::renderContents(Context& ctx, Bitmap& bitmap, const Matrix& pageToPixel, fz_cookie* cookie,
                          const Watchdog::CancelCheck& cancelled)
{
    render(ctx, bitmap.get(), pageToPixel, cookie, cancelled, false);
}

bool Page::renderContents(Context& ctx, PixelBuffer& pixels, const Matrix& pageToPixel, fz_cookie* cookie,
                          const Watchdog::CancelCheck& cancelled)
{
    // A pixmap header over the buffer, for the duration of the drawing only: the
    // samples stay ours, so the buffer carries no context to other threads.
    fz_pixmap* pixmap = nullptr;
    fz_var(pixmap);
    fz_try(ctx)
    {
        fz_colorspace* space = pixels.components() == 1 ? fz_device_gray(ctx) : fz_device_rgb(ctx);
        pixmap = fz_new_pixmap_with_data(ctx, space, pixels.width(), pixels.height(), nullptr, 0,
                                         static_cast<int>(pixels.stride()), pixels.row(0));
    }
    fz_catch(ctx) { ctx.throwCaught(); }
    // Only a grey drawing needs to know whether it lost colour; an RGB one is
    // taken to have colour, which keeps the next page in RGB as well.
    const bool grey = pixels.components() == 1;
    int colour = grey ? 0 : 1;
    try {
        render(ctx, pixmap, pageToPixel, cookie, cancelled, false, grey ? &colour : nullptr);
    } catch (...) {
        fz_drop_pixmap(ctx, pixmap);
        throw;
    }
    fz_drop_pixmap(ctx, pixmap);
    return colour != 0;
}

namespace {

// See Page::mayHaveColouredGlyphs. Depth and the number of dictionaries seen are
// bounded, which also ends reference cycles; past the bounds the answer is yes.
int holdsType3Font(fz_context* ctx, pdf_obj* resources, int depth, int* budget)
{
    if (!pdf_is_dict(ctx, resources))
        return 0;
    if (depth > 8 || --*budget < 0)
        return 1;
    pdf_obj* fonts = pdf_dict_get(ctx, resources, PDF_NAME(Font));
    for (int i = 0, n = pdf_dict_len(ctx, fonts); i < n; ++i) {
        if (pdf_name_eq(ctx, pdf_dict_get(ctx, pdf_dict_get_val(ctx, fonts, i), PDF_NAME(Subtype)), PDF_NAME(Type3)))
            return 1;
    }
    pdf_obj* lists[] = {pdf_dict_get(ctx, resources, PDF_NAME(XObject)), pdf_dict_get(ctx, resources, PDF_NAME(Pattern))};
    for (pdf_obj* list : lists) {
        for (int i = 0, n = pdf_dict_len(ctx, list); i < n; ++i) {
            pdf_obj* inner = pdf_dict_get(ctx, pdf_dict_get_val(ctx, list, i), PDF_NAME(Resources));
            if (holdsType3Font(ctx, inner, depth + 1, budget))
                return 1;
        }
    }
    pdf_obj* states = pdf_dict_get(ctx, resources, PDF_NAME(ExtGState));
    for (int i = 0, n = pdf_dict_len(ctx, states); i < n; ++i) {
        pdf_obj* group = pdf_dict_get(ctx, pdf_dict_get(ctx, pdf_dict_get_val(ctx, states, i), PDF_NAME(SMask)), PDF_NAME(G));
        if (holdsType3Font(ctx, pdf_dict_get(ctx, group, PDF_NAME(Resources)), depth + 1, budget))
            return 1;
    }
    return 0;
}

} // namespace

bool Page::mayHaveColouredGlyphs()
{
    fz_context* ctx = m_ctx;
    int found = 1;
    fz_var(found);
    fz_try(ctx)
    {
        int budget = 256;
        found = holdsType3Font(ctx, pdf_page_resources(ctx, m_page), 0, &budget);
    }
    fz_catch(ctx) { found = 1; }
    return found != 0;
}

void Page::renderWithAnnotations(Context& ctx, Bitmap& bitmap, const Matrix& pageToPixel, fz_cookie* cookie,
                                 const Watchdog::CancelCheck& cancelled)
{
    render(ctx, bitmap.get(), pageToPixel, cookie, cancelled, true);
}

void Page::render(Context& ctx, fz_pixmap* pixmap, const Matrix& pageToPixel, fz_cookie* cookie,
                  const Watchdog::CancelCheck& cancelled, bool annotations, int* colour)
{
    fz_cookie ownCookie{};
    if (!cookie)
        cookie = &ownCookie;
    Watchdog watchdog(*cookie, pageTimeBudget(), cancelled);
    fz_device* dev = nullptr;
    fz_device* test = nullptr;
    int failed = 0;
    fz_var(dev);
    fz_var(test);
    fz_var(failed);
    fz_try(ctx)
    {
        fz_matrix pageCtm;
        pdf_page_transform(ctx, m_page, nullptr, &pageCtm);
        // Undo MuPDF's own page transform so that pageToPixel applies to page space.
        const fz_matrix ctm = fz_concat(fz_invert_matrix(pageCtm), toFz(pageToPixel));
        dev = fz_new_draw_device(ctx, fz_identity, pixmap);
        // Exact greys only; images and shadings are not looked into.
        if (colour)
            test = fz_new_test_device(ctx, colour, 0.0f, 0, dev);
        if (annotations)
            pdf_run_page(ctx, m_page, test ? test : dev, ctm, cookie);
        else
            pdf_run_page_contents(ctx, m_page, test ? test : dev, ctm, cookie);
        if (test)
            fz_close_device(ctx, test);
        fz_close_device(ctx, dev);
    }
    fz_always(ctx)
    {
        // The test device neither closes nor drops the device it passes through to.
        fz_drop_device(ctx, test);
        fz_drop_device(ctx, dev);
    }
    fz_catch(ctx) { failed = 1; }
    // An abort ends the content quietly, as if it were complete: never take
    // such a page for a drawn one.
    switch (watchdog.stop()) {
    case Watchdog::Verdict::cancelled:
        throw PdfError(FZ_ERROR_ABORT, "cancelled");
    case Watchdog::Verdict::timedOut:
        throw PdfError(FZ_ERROR_GENERIC, "the page took too long to draw");
    case Watchdog::Verdict::finished:
        break;
    }
    if (failed) {
        // Only our own watchdog's abort means cancelled.
        if (fz_caught(ctx) == FZ_ERROR_ABORT)
            throw PdfError(FZ_ERROR_GENERIC, fz_caught_message(ctx));
        ctx.throwCaught();
    }
}

// ---- Document ------------------------------------------------------------

std::unique_ptr<Document> Document::open(Context& ctx, const QString& path)
{
    if (!QFileInfo(path).isFile())
        return nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    const char* filename = encoded.constData();

    pdf_document* doc = nullptr;
    int pageCount = -1;
    fz_var(doc);
    fz_var(pageCount);
    fz_try(ctx)
    {
        doc = pdf_open_document(ctx, filename);
        if (pdf_needs_password(ctx, doc) && !pdf_authenticate_password(ctx, doc, ""))
            fz_throw(ctx, FZ_ERROR_GENERIC, "password required");
        pageCount = pdf_count_pages(ctx, doc);
        // Each page is an object of its own: a page tree that claims more pages
        // than the file has objects lies (a /Count of billions, or one subtree
        // listed again and again), and would have every caller walk its pages
        // for hours.
        if (pageCount > pdf_xref_len(ctx, doc))
            fz_throw(ctx, FZ_ERROR_GENERIC, "more pages than objects");
    }
    fz_catch(ctx)
    {
        pdf_drop_document(ctx, doc);
        doc = nullptr;
    }
    if (!doc)
        return nullptr;
    if (pageCount < 0)
        pageCount = 0;
    return std::unique_ptr<Document>(new Document(ctx, doc, pageCount));
}

Document::~Document()
{
    pdf_drop_document(m_ctx, m_doc);
}

std::optional<Page> Document::page(int index)
{
    if (index < 0 || index >= m_pageCount)
        return std::nullopt;
    fz_context* ctx = m_ctx;
    pdf_page* page = nullptr;
    fz_rect box = fz_empty_rect;
    fz_matrix ctm = fz_identity;
    fz_var(page);
    fz_var(box);
    fz_var(ctm);
    fz_try(ctx)
    {
        pdf_obj* pageObj = pdf_lookup_page_obj(ctx, m_doc, index);
        pdf_obj* mediaBox = pdf_dict_get_inheritable(ctx, pageObj, PDF_NAME(MediaBox));
        // pdf_to_rect turns null into an infinite rectangle: check first.
        fz_rect raw = fz_make_rect(0, 0, 612, 792);
        if (pdf_is_array(ctx, mediaBox) && pdf_array_len(ctx, mediaBox) == 4)
            raw = pdf_to_rect(ctx, mediaBox);
        else
            pdf_dict_put_rect(ctx, pageObj, PDF_NAME(MediaBox), raw);
        // In memory only: render and read the whole media box. A crop box
        // that MuPDF finds empty is ignored, so the media box alone decides.
        pdf_dict_put_rect(ctx, pageObj, PDF_NAME(CropBox), raw);
        page = pdf_load_page(ctx, m_doc, index);
        pdf_page_transform(ctx, page, &box, &ctm);
    }
    fz_catch(ctx)
    {
        fz_drop_page(ctx, page ? &page->super : nullptr);
        page = nullptr;
    }
    if (!page)
        return std::nullopt;
    double userUnit = 1;
    int rotation = 0;
    unitAndRotation(ctm, userUnit, rotation);
    const Rect mediaBox{box.x0, box.y0, static_cast<double>(box.x1) - box.x0, static_cast<double>(box.y1) - box.y0};
    return Page(ctx, page, index, mediaBox, rotation, userUnit);
}

InfoValue Document::info(const char* key)
{
    fz_context* ctx = m_ctx;
    InfoValue::Kind kind = InfoValue::Kind::missing;
    const char* text = nullptr;
    int listSize = 0;
    fz_var(kind);
    fz_var(text);
    fz_var(listSize);
    fz_try(ctx)
    {
        pdf_obj* info = pdf_dict_get(ctx, pdf_trailer(ctx, m_doc), PDF_NAME(Info));
        pdf_obj* value = pdf_dict_gets(ctx, info, key);
        if (pdf_is_null(ctx, value)) {
            kind = InfoValue::Kind::missing;
        } else if (pdf_is_string(ctx, value)) {
            kind = InfoValue::Kind::text;
            text = pdf_to_text_string(ctx, value);
        } else if (pdf_is_array(ctx, value)) {
            kind = InfoValue::Kind::list;
            listSize = pdf_array_len(ctx, value);
        } else {
            kind = InfoValue::Kind::other;
        }
    }
    fz_catch(ctx)
    {
        // An entry that cannot even be read is not trusted to be empty.
        kind = InfoValue::Kind::other;
    }
    InfoValue result;
    result.kind = kind;
    if (text)
        result.text = QString::fromUtf8(text);
    result.listSize = listSize;
    return result;
}

bool Document::wasRepaired()
{
    return pdf_was_repaired(m_ctx, m_doc) != 0;
}

} // namespace inkveil::platform
