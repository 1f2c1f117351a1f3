#include "tests/support/pdf_builder.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace inkveil::test {

namespace {

std::string num(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, end);
}

} // namespace

std::string pdfLiteral(const std::string& text)
{
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + ")";
}

PdfBuilder& PdfBuilder::page(PageSpec layout)
{
    m_pages.push_back(std::move(layout));
    return *this;
}

PdfBuilder& PdfBuilder::textPage(const std::string& text, double x, double y, double size)
{
    PageSpec layout;
    layout.texts.push_back(TextRun{x, y, size, text});
    return page(std::move(layout));
}

PdfBuilder& PdfBuilder::info(const std::string& rawEntries)
{
    m_info = rawEntries;
    return *this;
}

PdfBuilder& PdfBuilder::catalogEntries(const std::string& raw)
{
    m_catalog = raw;
    return *this;
}

int PdfBuilder::object(const std::string& rawBody)
{
    m_objects.push_back(rawBody);
    // 1 catalog, 2 pages, 3 font, 4 info; then the extras; then 2 per page.
    return 4 + static_cast<int>(m_objects.size());
}

QByteArray PdfBuilder::build() const
{
    const size_t firstPage = 5 + m_objects.size(); // object number of the first page
    std::vector<std::string> bodies(4 + m_objects.size() + 2 * m_pages.size());

    std::string kids;
    for (size_t i = 0; i < m_pages.size(); ++i)
        kids += std::to_string(firstPage + 2 * i) + " 0 R ";
    bodies[0] = "<< /Type /Catalog /Pages 2 0 R " + m_catalog + " >>";
    bodies[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(m_pages.size()) + " >>";
    bool anyText = false;
    for (const PageSpec& p : m_pages)
        anyText = anyText || !p.texts.empty();
    bodies[2] = anyText ? "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>" : "null";
    bodies[3] = "<< " + m_info + " >>";

    for (size_t i = 0; i < m_pages.size(); ++i) {
        const PageSpec& p = m_pages[i];
        std::string content;
        for (const TextRun& t : p.texts)
            content += "BT /F1 " + num(t.size) + " Tf " + num(t.x) + " " + num(t.y) + " Td " + pdfLiteral(t.text)
                + " Tj ET\n";
        content += p.extraContent;

        std::string page = "<< /Type /Page /Parent 2 0 R ";
        if (p.writeMediaBox)
            page += "/MediaBox [" + num(p.box[0]) + " " + num(p.box[1]) + " " + num(p.box[2]) + " " + num(p.box[3]) + "] ";
        if (p.rotate)
            page += "/Rotate " + std::to_string(p.rotate) + " ";
        page += "/Resources << " + std::string(p.texts.empty() ? "" : "/Font << /F1 3 0 R >> ") + p.extraResources + " >> ";
        page += "/Contents " + std::to_string(firstPage + 1 + 2 * i) + " 0 R ";
        if (!p.annots.empty()) {
            page += "/Annots [";
            for (const std::string& a : p.annots)
                page += a + " ";
            page += "] ";
        }
        page += p.extraPageEntries + " >>";
        bodies[firstPage - 1 + 2 * i] = page;
        bodies[firstPage + 2 * i] = "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream";
    }
    for (size_t i = 0; i < m_objects.size(); ++i)
        bodies[4 + i] = m_objects[i];

    return rawPdf(bodies, "/Info 4 0 R");
}

PdfBuilder& PdfBuilder::imagePage(int grey, double width, double height)
{
    const int image = object("<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                             "/BitsPerComponent 8 /Length 4 >>\nstream\n"
                             + std::string(4, static_cast<char>(grey)) + "\nendstream");
    PageSpec layout;
    layout.box[2] = width;
    layout.box[3] = height;
    layout.extraResources = "/XObject << /Im0 " + std::to_string(image) + " 0 R >>";
    layout.extraContent = "q " + num(width) + " 0 0 " + num(height) + " 0 0 cm /Im0 Do Q";
    return page(std::move(layout));
}

std::string streamObject(const std::string& data, const std::string& dictEntries)
{
    return "<< /Length " + std::to_string(data.size()) + " " + dictEntries + " >>\nstream\n" + data + "\nendstream";
}

QByteArray rawPdf(const std::vector<std::string>& bodies, const std::string& trailerEntries)
{
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R " + trailerEntries
        + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QByteArray appendUpdate(const QByteArray& pdf, const std::vector<std::pair<int, std::string>>& objects)
{
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0)
        throw std::runtime_error("no startxref to update");
    const QByteArray previous = pdf.mid(startxref + 9).trimmed().split('\n').value(0).trimmed();
    const qsizetype trailerAt = pdf.lastIndexOf("trailer");
    const QByteArray trailer = pdf.mid(trailerAt, startxref - trailerAt);
    int size = trailer.mid(trailer.indexOf("/Size ") + 6).split(' ').value(0).toInt();
    const qsizetype infoAt = trailer.indexOf("/Info ");
    const QByteArray info = infoAt < 0 ? QByteArray() : trailer.mid(infoAt, trailer.indexOf(" R", infoAt) + 2 - infoAt);

    std::string out(pdf.constData(), static_cast<size_t>(pdf.size()));
    if (out.back() != '\n')
        out += '\n';
    std::string table = "xref\n";
    for (const auto& [number, body] : objects) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", out.size());
        table += std::to_string(number) + " 1\n" + line;
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
        size = std::max(size, number + 1);
    }
    const size_t xref = out.size();
    out += table + "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R " + info.toStdString() + " /Prev "
        + previous.toStdString() + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

QString PdfBuilder::write(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(build()) < 0)
        throw std::runtime_error("cannot write test PDF");
    return path;
}

} // namespace inkveil::test
