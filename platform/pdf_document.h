#pragma once

#include "core/geometry.h"
#include "platform/bitmap.h"
#include "platform/mu_context.h"
#include "platform/pixel_buffer.h"
#include "platform/watchdog.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

extern "C" {
#include <mupdf/pdf.h>
}

namespace inkveil::platform {

// One character of a page's text with its box in page space.
struct TextChar {
    char32_t c = 0;
    Rect box;
};

// A run of characters that share a baseline, in reading order.
struct TextLine {
    std::vector<TextChar> chars;
};

// One entry of the document information dictionary.
struct InfoValue {
    enum class Kind { missing, text, list, other };
    Kind kind = Kind::missing;
    QString text;           // for text
    qsizetype listSize = 0; // for list
};

// A page transform: x' = a·x + c·y + e, y' = b·x + d·y + f.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

class Document;
class PageGlyphs;

// A loaded page. Its document must outlive it; used by one thread at a time.
class Page {
public:
    ~Page();
    Page(Page&& other) noexcept;
    Page& operator=(Page&&) = delete;
    Page(const Page&) = delete;

    int index() const { return m_index; }
    // The /MediaBox in page space (inherited boxes included, never the crop box),
    // as MuPDF resolves it: an empty or unreadable box is US Letter, one
    // narrower than a unit is the unit square.
    const Rect& mediaBox() const { return m_mediaBox; }
    // The rotation MuPDF shows the page with: /Rotate snapped to 0, 90, 180 or 270.
    int rotation() const { return m_rotation; }
    // Points per page unit (/UserUnit): the page is mediaBox() × userUnit() points.
    double userUnit() const { return m_userUnit; }

    // Plain text in reading order, lines ended by "\n". complete, if given, tells
    // whether all of the content was read: MuPDF skips what it cannot
    // interpret (or hold in memory) and goes on. Throws PdfError, also when the
    // page takes longer than the page time budget.
    QString text(bool* complete = nullptr);
    // Characters with boxes in page space; ligatures kept whole. As text().
    std::vector<TextLine> textLines(bool* complete = nullptr);

    // Every glyph the page's content draws, in drawing order (platform/page_glyphs.h).
    // As text(): complete tells whether all of it was read. Throws PdfError.
    PageGlyphs drawnGlyphs(bool* complete = nullptr);

    // Annotations and widgets on the page.
    int annotationCount();
    // Removes every annotation and widget, in memory only.
    void removeAnnotations();

    // Draws the page content (no annotations) into bitmap; pageToPixel maps page
    // space to pixels (rows top-down). The cookie, if any, counts errors. Throws
    // PdfError: aborted() when cancelled says so (asked from another thread while
    // the page is drawn), another code when the page time budget runs out.
    void renderContents(Context& ctx, Bitmap& bitmap, const Matrix& pageToPixel, fz_cookie* cookie,
                        const Watchdog::CancelCheck& cancelled = {});
    // As above, into a plain buffer, grey or RGB. Returns whether the page drew
    // anything in colour (or what may be colour: images and shadings in a
    // colour space other than grey); a grey buffer then holds a rendering that
    // lost colour and must be drawn again in RGB. Throws PdfError.
    bool renderContents(Context& ctx, PixelBuffer& pixels, const Matrix& pageToPixel, fz_cookie* cookie,
                        const Watchdog::CancelCheck& cancelled = {});
    // Whether the page's resources, or those of the forms, patterns and soft
    // masks it draws, hold a Type 3 font: its glyphs may paint in colours of
    // their own, which renderContents does not see. True when unsure.
    bool mayHaveColouredGlyphs();
    // As renderContents, with annotations and widgets drawn on top.
    void renderWithAnnotations(Context& ctx, Bitmap& bitmap, const Matrix& pageToPixel, fz_cookie* cookie,
                               const Watchdog::CancelCheck& cancelled = {});

    pdf_page* get() const { return m_page; }

private:
    friend class Document;
    Page(fz_context* ctx, pdf_page* page, int index, Rect mediaBox, int rotation, double userUnit);
    void render(Context& ctx, fz_pixmap* pixmap, const Matrix& pageToPixel, fz_cookie* cookie,
                const Watchdog::CancelCheck& cancelled, bool annotations, int* colour = nullptr);
    fz_stext_page* loadStext(int flags, bool* complete);

    fz_context* m_ctx;
    pdf_page* m_page;
    int m_index;
    Rect m_mediaBox;
    int m_rotation;
    double m_userUnit;
};

// An open PDF, read-only on disk. Used by one thread at a time.
class Document {
public:
    // Nothing when the file is not a readable PDF (including one that needs a
    // password other than the empty one, and one whose page tree claims more
    // pages than it has objects).
    static std::unique_ptr<Document> open(Context& ctx, const QString& path);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    int pageCount() const { return m_pageCount; }
    // The page, or nothing when it cannot be fetched. Its crop box is set to its
    // media box in memory first, so the whole media box renders and reads.
    std::optional<Page> page(int index);
    // The Info dictionary entry key ("Title", "Author", …).
    InfoValue info(const char* key);
    bool wasRepaired();

    Context& context() const { return m_ctx; }
    pdf_document* get() const { return m_doc; }

private:
    Document(Context& ctx, pdf_document* doc, int pageCount) : m_ctx(ctx), m_doc(doc), m_pageCount(pageCount) {}

    Context& m_ctx;
    pdf_document* m_doc;
    int m_pageCount;
};

// MuPDF's default page when /MediaBox is missing or unusable: US Letter.
inline constexpr Rect kDefaultMediaBox{0, 0, 612, 792};

} // namespace inkveil::platform
