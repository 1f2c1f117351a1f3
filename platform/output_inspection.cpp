#include "platform/output_inspection.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace inkveil::platform {

namespace {

bool nameIn(const char* name, std::initializer_list<const char*> allowed)
{
    return std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return std::strcmp(name, a) == 0; });
}

// Every key of dict is one of allowed.
bool keysWithin(fz_context* ctx, pdf_obj* dict, std::initializer_list<const char*> allowed)
{
    const int n = pdf_dict_len(ctx, dict);
    for (int i = 0; i < n; ++i) {
        if (!nameIn(pdf_to_name(ctx, pdf_dict_get_key(ctx, dict, i)), allowed))
            return false;
    }
    return true;
}

bool isNumber(const char* token, size_t length)
{
    if (length == 0)
        return false;
    size_t digits = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = token[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (!(c == '.' || ((c == '-' || c == '+') && i == 0)))
            return false;
    }
    return digits > 0;
}

// "q a b c d e f cm /Name Do Q" and nothing else.
bool isSingleImageDraw(const unsigned char* data, size_t size, const char* imageName)
{
    const char* expected[] = {"q", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "cm", "/", "Do", "Q"};
    size_t index = 0;
    size_t i = 0;
    while (i < size) {
        while (i < size && std::strchr(" \t\r\n\f", data[i]) && data[i] != 0)
            ++i;
        if (i >= size)
            break;
        const size_t start = i;
        while (i < size && !std::strchr(" \t\r\n\f", data[i]) && data[i] != 0)
            ++i;
        if (i == start)
            return false; // a NUL byte
        const char* token = reinterpret_cast<const char*>(data + start);
        const size_t length = i - start;
        if (index >= std::size(expected))
            return false;
        const char* want = expected[index++];
        if (!want) {
            if (!isNumber(token, length))
                return false;
        } else if (std::strcmp(want, "/") == 0) {
            if (length != std::strlen(imageName) + 1 || token[0] != '/'
                || std::memcmp(token + 1, imageName, length - 1) != 0)
                return false;
        } else if (length != std::strlen(want) || std::memcmp(token, want, length) != 0) {
            return false;
        }
    }
    return index == std::size(expected);
}

// The page's one image XObject and its resource name, or null.
pdf_obj* singleImage(fz_context* ctx, pdf_obj* pageObj, const char** name)
{
    pdf_obj* resources = pdf_dict_get(ctx, pageObj, PDF_NAME(Resources));
    pdf_obj* xobjects = pdf_dict_get(ctx, resources, PDF_NAME(XObject));
    if (pdf_dict_len(ctx, xobjects) != 1)
        return nullptr;
    pdf_obj* image = pdf_dict_get_val(ctx, xobjects, 0);
    if (!pdf_is_stream(ctx, image) || !pdf_name_eq(ctx, pdf_dict_get(ctx, image, PDF_NAME(Subtype)), PDF_NAME(Image)))
        return nullptr;
    *name = pdf_to_name(ctx, pdf_dict_get_key(ctx, xobjects, 0));
    return image;
}

} // namespace

bool documentHasForeignObjects(Document& document)
{
    fz_context* ctx = document.context();
    pdf_document* doc = document.get();
    // Filled inside the try without reallocating: only its elements change.
    std::vector<char> isContent(static_cast<size_t>(std::max(pdf_xref_len(ctx, doc), 0)), 0);
    int foreign = 1;
    fz_var(foreign);
    fz_try(ctx)
    {
        const int pages = pdf_count_pages(ctx, doc);
        for (int i = 0; i < pages; ++i) {
            const int num = pdf_to_num(ctx, pdf_dict_get(ctx, pdf_lookup_page_obj(ctx, doc, i), PDF_NAME(Contents)));
            if (num > 0 && static_cast<size_t>(num) < isContent.size())
                isContent[static_cast<size_t>(num)] = 1;
        }
        pdf_obj* trailer = pdf_trailer(ctx, doc);
        pdf_obj* catalog = pdf_dict_get(ctx, trailer, PDF_NAME(Root));
        pdf_obj* info = pdf_dict_get(ctx, trailer, PDF_NAME(Info));
        foreign = !keysWithin(ctx, catalog, {"Type", "Pages"}) || pdf_count_versions(ctx, doc) > 1;

        // Every object must be part of the page structure: orphans could hold
        // anything. Content streams are judged page by page.
        const int objects = static_cast<int>(isContent.size());
        for (int num = 1; num < objects && !foreign; ++num) {
            pdf_obj* obj = pdf_load_object(ctx, doc, num);
            const int isInfo = pdf_to_num(ctx, info) == num;
            pdf_obj* type = pdf_dict_get(ctx, obj, PDF_NAME(Type));
            const int known = pdf_is_null(ctx, obj) || isInfo || pdf_name_eq(ctx, type, PDF_NAME(Catalog))
                || pdf_name_eq(ctx, type, PDF_NAME(Pages)) || pdf_name_eq(ctx, type, PDF_NAME(Page))
                || (pdf_obj_num_is_stream(ctx, doc, num)
                    && (isContent[static_cast<size_t>(num)]
                        || pdf_name_eq(ctx, pdf_dict_get(ctx, obj, PDF_NAME(Subtype)), PDF_NAME(Image))));
            pdf_drop_obj(ctx, obj);
            foreign = !known;
        }
    }
    fz_catch(ctx) { foreign = 1; }
    return foreign != 0;
}

bool pageHoldsOnlyOneImage(Document& document, Page& page)
{
    fz_context* ctx = document.context();
    pdf_obj* pageObj = page.get()->obj;
    int ok = 0;
    fz_buffer* content = nullptr;
    fz_var(ok);
    fz_var(content);
    fz_try(ctx)
    {
        // CropBox is ours: set in memory when the page was loaded.
        const char* name = nullptr;
        pdf_obj* image = singleImage(ctx, pageObj, &name);
        pdf_obj* resources = pdf_dict_get(ctx, pageObj, PDF_NAME(Resources));
        pdf_obj* contents = pdf_dict_get(ctx, pageObj, PDF_NAME(Contents));
        if (image && keysWithin(ctx, pageObj, {"Type", "Parent", "MediaBox", "CropBox", "Rotate", "Resources", "Contents"})
            && keysWithin(ctx, resources, {"XObject", "ProcSet"}) && pdf_is_stream(ctx, contents)
            && !pdf_dict_get(ctx, image, PDF_NAME(SMask)) && !pdf_dict_get(ctx, image, PDF_NAME(Mask))) {
            content = pdf_load_stream(ctx, contents);
            unsigned char* data = nullptr;
            const size_t size = fz_buffer_storage(ctx, content, &data);
            ok = isSingleImageDraw(data, size, name);
        }
    }
    fz_always(ctx) { fz_drop_buffer(ctx, content); }
    fz_catch(ctx) { ok = 0; }
    return ok != 0;
}

std::optional<DecodedImage> DecodedImage::load(Document& document, Page& page)
{
    fz_context* ctx = document.context();
    fz_image* image = nullptr;
    fz_pixmap* pix = nullptr;
    fz_var(image);
    fz_var(pix);
    fz_try(ctx)
    {
        const char* name = nullptr;
        pdf_obj* obj = singleImage(ctx, page.get()->obj, &name);
        if (obj) {
            image = pdf_load_image(ctx, document.get(), obj);
            pix = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
        }
    }
    fz_always(ctx) { fz_drop_image(ctx, image); }
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, pix);
        pix = nullptr;
    }
    if (!pix)
        return std::nullopt;
    return DecodedImage(ctx, pix);
}

DecodedImage::DecodedImage(fz_context* ctx, fz_pixmap* pix)
    : m_ctx(ctx), m_pix(pix), m_width(fz_pixmap_width(ctx, pix)), m_height(fz_pixmap_height(ctx, pix))
{
}

DecodedImage::~DecodedImage()
{
    if (m_pix)
        fz_drop_pixmap(m_ctx, m_pix);
}

DecodedImage::DecodedImage(DecodedImage&& other) noexcept
    : m_ctx(other.m_ctx), m_pix(std::exchange(other.m_pix, nullptr)), m_width(other.m_width), m_height(other.m_height)
{
}

DecodedImage& DecodedImage::operator=(DecodedImage&& other) noexcept
{
    if (this != &other) {
        if (m_pix)
            fz_drop_pixmap(m_ctx, m_pix);
        m_ctx = other.m_ctx;
        m_pix = std::exchange(other.m_pix, nullptr);
        m_width = other.m_width;
        m_height = other.m_height;
    }
    return *this;
}

bool DecodedImage::isBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) const
{
    x0 = std::clamp<std::int64_t>(x0, 0, m_width);
    x1 = std::clamp<std::int64_t>(x1, 0, m_width);
    y0 = std::clamp<std::int64_t>(y0, 0, m_height);
    y1 = std::clamp<std::int64_t>(y1, 0, m_height);
    const int n = fz_pixmap_components(m_ctx, m_pix);
    const std::ptrdiff_t stride = fz_pixmap_stride(m_ctx, m_pix);
    const unsigned char* samples = fz_pixmap_samples(m_ctx, m_pix);
    // Grey and RGB decode with 0 as black.
    for (std::int64_t y = y0; y < y1; ++y) {
        const unsigned char* row = samples + y * stride;
        for (std::int64_t i = x0 * n; i < x1 * n; ++i) {
            if (row[i] != 0)
                return false;
        }
    }
    return true;
}

} // namespace inkveil::platform
