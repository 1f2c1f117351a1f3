#include "platform/output_inspection.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
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

namespace {

// Our writer's image form: one Flate filter with PNG predictors matching the
// image, grey or RGB, no decode array, mask or anything else that a reader would
// have to apply. Sets the layout; false for any other form.
bool isOwnImageForm(fz_context* ctx, pdf_obj* image, int* width, int* height, int* components, int* bits)
{
    if (!keysWithin(ctx, image, {"Type", "Subtype", "Width", "Height", "ColorSpace", "BitsPerComponent", "Interpolate",
                                 "Filter", "DecodeParms", "Length"}))
        return false;
    pdf_obj* colorSpace = pdf_dict_get(ctx, image, PDF_NAME(ColorSpace));
    pdf_obj* parms = pdf_dict_get(ctx, image, PDF_NAME(DecodeParms));
    *width = pdf_dict_get_int(ctx, image, PDF_NAME(Width));
    *height = pdf_dict_get_int(ctx, image, PDF_NAME(Height));
    *bits = pdf_dict_get_int(ctx, image, PDF_NAME(BitsPerComponent));
    if (pdf_name_eq(ctx, colorSpace, PDF_NAME(DeviceGray)))
        *components = 1;
    else if (pdf_name_eq(ctx, colorSpace, PDF_NAME(DeviceRGB)))
        *components = 3;
    else
        return false;
    return *width > 0 && *height > 0 && (*bits == 8 || (*bits == 1 && *components == 1))
        && static_cast<std::int64_t>(*width) * *height <= (std::int64_t{1} << 31)
        && pdf_name_eq(ctx, pdf_dict_get(ctx, image, PDF_NAME(Filter)), PDF_NAME(FlateDecode))
        && pdf_is_dict(ctx, parms) && keysWithin(ctx, parms, {"Predictor", "Colors", "BitsPerComponent", "Columns"})
        && pdf_dict_get_int(ctx, parms, PDF_NAME(Predictor)) == 15
        && pdf_dict_get_int(ctx, parms, PDF_NAME(Colors)) == *components
        && pdf_dict_get_int(ctx, parms, PDF_NAME(BitsPerComponent)) == *bits
        && pdf_dict_get_int(ctx, parms, PDF_NAME(Columns)) == *width;
}

// Undoes the PNG predictors in place; rows are [type, bytes…]. False for an
// unknown predictor type.
bool unpredict(std::uint8_t* data, std::size_t rowBytes, int height, int bytesPerPixel)
{
    const std::size_t stride = rowBytes + 1;
    const std::vector<std::uint8_t> zeros(rowBytes, 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = data + static_cast<std::size_t>(y) * stride;
        std::uint8_t* cur = row + 1;
        const std::uint8_t* up = y > 0 ? cur - stride : zeros.data();
        const std::size_t bpp = static_cast<std::size_t>(bytesPerPixel);
        switch (row[0]) {
        case 0:
            break;
        case 1:
            for (std::size_t i = bpp; i < rowBytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - bpp]);
            break;
        case 2:
            for (std::size_t i = 0; i < rowBytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + up[i]);
            break;
        case 3:
            for (std::size_t i = 0; i < rowBytes; ++i)
                cur[i] = static_cast<std::uint8_t>(cur[i] + ((i >= bpp ? cur[i - bpp] : 0) + up[i]) / 2);
            break;
        case 4:
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= bpp ? cur[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                cur[i] = static_cast<std::uint8_t>(cur[i] + (pa <= pb && pa <= pc ? a : pb <= pc ? b : c));
            }
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<DecodedImage> DecodedImage::load(Document& document, Page& page)
{
    fz_context* ctx = document.context();
    DecodedImage result;
    fz_image* image = nullptr;
    fz_pixmap* pix = nullptr;
    fz_buffer* raw = nullptr;
    int own = 0;
    fz_var(image);
    fz_var(pix);
    fz_var(raw);
    fz_var(own);
    fz_try(ctx)
    {
        const char* name = nullptr;
        pdf_obj* obj = singleImage(ctx, page.get()->obj, &name);
        if (obj) {
            int width = 0, height = 0, components = 0, bits = 0;
            own = isOwnImageForm(ctx, obj, &width, &height, &components, &bits);
            if (own) {
                raw = pdf_load_raw_stream(ctx, obj);
                result.m_width = width;
                result.m_height = height;
                result.m_components = components;
                result.m_bits = bits;
            } else {
                image = pdf_load_image(ctx, document.get(), obj);
                pix = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }
    fz_always(ctx) { fz_drop_image(ctx, image); }
    fz_catch(ctx)
    {
        fz_drop_pixmap(ctx, pix);
        fz_drop_buffer(ctx, raw);
        return std::nullopt;
    }

    if (own) {
        unsigned char* data = nullptr;
        const size_t size = fz_buffer_storage(ctx, raw, &data);
        const std::size_t rowBytes = result.m_bits == 1 ? (static_cast<std::size_t>(result.m_width) + 7) / 8
                                                        : static_cast<std::size_t>(result.m_width) * result.m_components;
        const std::size_t expected = (rowBytes + 1) * static_cast<std::size_t>(result.m_height);
        bool ok = false;
        try {
            result.m_samples.resize(expected);
            libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
            std::size_t got = 0;
            ok = inflater
                && libdeflate_zlib_decompress(inflater, data, size, result.m_samples.data(), expected, &got) == LIBDEFLATE_SUCCESS
                && got == expected;
            libdeflate_free_decompressor(inflater);
            ok = ok && unpredict(result.m_samples.data(), rowBytes, result.m_height, result.m_components);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
        fz_drop_buffer(ctx, raw);
        if (!ok)
            return std::nullopt;
        result.m_stride = rowBytes + 1;
        return result;
    }

    if (!pix)
        return std::nullopt;
    DecodedImage& d = result;
    bool ok = true;
    try {
        d.m_width = fz_pixmap_width(ctx, pix);
        d.m_height = fz_pixmap_height(ctx, pix);
        d.m_components = fz_pixmap_components(ctx, pix);
        d.m_bits = 8;
        // Rows keep a leading byte, as in the form above.
        const std::size_t rowBytes = static_cast<std::size_t>(d.m_width) * d.m_components;
        d.m_stride = rowBytes + 1;
        d.m_samples.resize(d.m_stride * static_cast<std::size_t>(d.m_height));
        const unsigned char* samples = fz_pixmap_samples(ctx, pix);
        const std::ptrdiff_t stride = fz_pixmap_stride(ctx, pix);
        for (int y = 0; y < d.m_height; ++y)
            std::memcpy(d.m_samples.data() + y * d.m_stride + 1, samples + y * stride, rowBytes);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    fz_drop_pixmap(ctx, pix);
    if (!ok)
        return std::nullopt;
    return result;
}

bool DecodedImage::isBlack(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) const
{
    x0 = std::clamp<std::int64_t>(x0, 0, m_width);
    x1 = std::clamp<std::int64_t>(x1, 0, m_width);
    y0 = std::clamp<std::int64_t>(y0, 0, m_height);
    y1 = std::clamp<std::int64_t>(y1, 0, m_height);
    // DeviceGray and DeviceRGB without a decode array: 0 is black.
    for (std::int64_t y = y0; y < y1; ++y) {
        const std::uint8_t* row = m_samples.data() + static_cast<std::size_t>(y) * m_stride + 1;
        if (m_bits == 1) {
            for (std::int64_t x = x0; x < x1; ++x) {
                if (row[x >> 3] & (0x80u >> (x & 7)))
                    return false;
            }
        } else {
            for (std::int64_t i = x0 * m_components; i < x1 * m_components; ++i) {
                if (row[i] != 0)
                    return false;
            }
        }
    }
    return true;
}

} // namespace inkveil::platform
