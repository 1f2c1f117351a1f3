#pragma once

// Builds small PDFs in code for the tests: pages with text at known places,
// odd media boxes, rotation, annotations, Info entries and arbitrary extra
// objects. Text uses the standard Helvetica font (no embedding), 1 pt = 1 unit.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace inkveil::test {

struct TextRun {
    double x = 72;
    double y = 720;
    double size = 12;
    std::string text; // Latin-1 bytes as written into the content stream
};

struct PageSpec {
    double box[4] = {0, 0, 612, 792}; // /MediaBox as written
    bool writeMediaBox = true;
    int rotate = 0;
    std::vector<TextRun> texts;
    std::string extraContent;     // appended raw to the content stream
    std::string extraResources;   // raw entries added inside /Resources << … >>
    std::vector<std::string> annots; // raw annotation dictionaries "<< /Type /Annot … >>"
    std::string extraPageEntries; // raw entries added to the page dictionary
};

class PdfBuilder {
public:
    PdfBuilder& page(PageSpec layout);
    // A page of the given size with one line of text at (x, y).
    PdfBuilder& textPage(const std::string& text, double x = 72, double y = 720, double size = 12);
    // A page holding nothing but one grey image drawn over it, as our outputs do.
    PdfBuilder& imagePage(int grey = 0x80, double width = 612, double height = 792);
    PdfBuilder& info(const std::string& rawEntries);       // "/Title (x) /Author (y)"
    PdfBuilder& catalogEntries(const std::string& raw);     // added to /Catalog
    // Adds an object; returns its number for references ("N 0 R").
    int object(const std::string& rawBody);

    QByteArray build() const;
    // Writes build() to path; returns path.
    QString write(const QString& path) const;

private:
    std::vector<PageSpec> m_pages;
    std::vector<std::string> m_objects; // extra objects, numbered after the fixed ones
    std::string m_info;
    std::string m_catalog;
};

// Escapes (, ) and \ for a PDF literal string.
std::string pdfLiteral(const std::string& text);

// A PDF of the given object bodies, numbered from 1, with a cross-reference
// table; object 1 is the catalog. trailerEntries are added to the trailer.
QByteArray rawPdf(const std::vector<std::string>& bodies, const std::string& trailerEntries = {});

// "<< /Length n >>\nstream\n…\nendstream" with dictEntries added.
std::string streamObject(const std::string& data, const std::string& dictEntries = {});

// Appends an incremental update to pdf that gives each numbered object a new
// body. The trailer keeps /Root 1 0 R and the old /Info, if any.
QByteArray appendUpdate(const QByteArray& pdf, const std::vector<std::pair<int, std::string>>& objects);

} // namespace inkveil::test
