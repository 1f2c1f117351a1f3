#pragma once

// Independent readers for outputs: poppler-utils and qpdf, so that the engine
// never marks its own homework alone.

#include <QString>

#include <optional>
#include <vector>

namespace inkveil::test {

bool havePoppler();

// pdftotext of the whole file (empty when it has no text).
QString popplerText(const QString& pdf);

struct ListedImage {
    int page = 0; // 1-based
    int width = 0;
    int height = 0;
    QString color; // "gray", "rgb", …
    int bitsPerComponent = 0;
};
// pdfimages -list
std::vector<ListedImage> popplerImages(const QString& pdf);

// pdffonts: number of fonts listed.
int popplerFontCount(const QString& pdf);

// pdfinfo's "Key: value" lines.
QString popplerInfo(const QString& pdf);

// A decoded page image as 8-bit grey or RGB samples, rows top-down.
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<unsigned char> samples;
    // Sample values of pixel (x, y).
    const unsigned char* at(int x, int y) const { return samples.data() + (static_cast<size_t>(y) * width + x) * channels; }
    bool isBlack(int x, int y) const;
    // Share of black pixels in [left, right) x [top, bottom); 0 when empty.
    double blackShare(int left, int top, int right, int bottom) const;
};
// The first image of a 1-based page, extracted by pdfimages.
std::optional<Raster> popplerPageImage(const QString& pdf, int page);

// Page (1-based) as poppler displays it, in grey at dpi, via pdftoppm.
std::optional<Raster> popplerRenderedPage(const QString& pdf, int page, int dpi);

// pdfdetach -list, and pdfinfo -meta (the XMP packet, empty when none).
QString popplerAttachmentList(const QString& pdf);
QString popplerXmp(const QString& pdf);

// qpdf --check passes.
bool qpdfCheckPasses(const QString& pdf);

// qpdf --show-npages, or -1.
int qpdfPageCount(const QString& pdf);

// The file rewritten by qpdf with every stream decompressed and no object
// streams, so that any text left anywhere in it is plain bytes.
QByteArray qpdfUncompressed(const QString& pdf);

} // namespace inkveil::test
