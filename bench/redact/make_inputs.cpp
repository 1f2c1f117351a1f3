// Writes the benchmark's input documents into a folder:
//   text-50.pdf, text-200.pdf  dense pages of body text
//   mixed-20.pdf               text with a colour photo on every page
//   scan-20.pdf                300 dpi greyscale page scans with an invisible text layer
// Every page holds the phrase kPhrase (run.py searches for it).
#include "bench/redact/synthetic_images.h"
#include "tests/support/pdf_builder.h"

#include <QDir>
#include <QString>

#include <cstdio>
#include <string>

using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::TextRun;

namespace {

const std::string kPhrase = "Nightingale Holdings";

const char* const kWords[] = {
    "the", "agreement", "party", "shall", "payment", "within", "days", "of", "notice", "and", "to", "any",
    "services", "provided", "under", "this", "schedule", "including", "without", "limitation", "account",
    "client", "records", "confidential", "information", "disclosed", "by", "either", "for", "purpose",
    "term", "renewal", "invoice", "amount", "due", "on", "or", "before", "date", "set", "out", "in", "clause",
    "liability", "damages", "reasonable", "costs", "incurred", "breach", "obligations", "herein", "as", "may",
    "be", "agreed", "writing", "between", "parties", "from", "time", "each", "other", "with", "respect",
};

class Words {
public:
    explicit Words(std::uint32_t seed) : m_state(seed) {}
    // A line of about maxChars characters; the phrase is spliced in when asked.
    std::string line(size_t maxChars, bool withPhrase)
    {
        std::string out;
        size_t phraseAt = withPhrase ? next(static_cast<std::uint32_t>(maxChars / 2)) : SIZE_MAX;
        while (out.size() < maxChars - 12) {
            if (out.size() >= phraseAt) {
                out += kPhrase + " ";
                phraseAt = SIZE_MAX;
                continue;
            }
            std::string w = kWords[next(sizeof kWords / sizeof *kWords)];
            if (out.empty())
                w[0] = static_cast<char>(w[0] - 32);
            out += w + (next(9) == 0 ? ", " : " ");
        }
        out.pop_back();
        return out + ".";
    }
    std::uint32_t next(std::uint32_t n)
    {
        m_state = m_state * 1664525U + 1013904223U;
        return (m_state >> 8) % n;
    }

private:
    std::uint32_t m_state;
};

std::string num(double v) { return std::to_string(v); }

std::string imageObject(const inkveil::bench::Raster& r, const std::string& jpeg)
{
    return "<< /Type /XObject /Subtype /Image /Width " + std::to_string(r.width) + " /Height " + std::to_string(r.height)
        + " /ColorSpace " + (r.components == 3 ? "/DeviceRGB" : "/DeviceGray")
        + " /BitsPerComponent 8 /Filter /DCTDecode /Length " + std::to_string(jpeg.size()) + " >>\nstream\n" + jpeg
        + "\nendstream";
}

PageSpec textPage(Words& words, int number)
{
    PageSpec page;
    page.texts.push_back(TextRun{72, 740, 14, "Section " + std::to_string(number) + ": Terms and conditions"});
    const int phraseLine = static_cast<int>(words.next(50));
    for (int i = 0; i < 50; ++i)
        page.texts.push_back(TextRun{72, 712 - 12.6 * i, 10, words.line(92, i == phraseLine)});
    page.texts.push_back(TextRun{300, 40, 9, std::to_string(number)});
    return page;
}

void writeText(const QString& path, int pages)
{
    Words words(1234);
    PdfBuilder pdf;
    for (int i = 0; i < pages; ++i)
        pdf.page(textPage(words, i + 1));
    pdf.write(path);
}

void writeMixed(const QString& path, int pages)
{
    Words words(99);
    PdfBuilder pdf;
    for (int i = 0; i < pages; ++i) {
        const auto photo = inkveil::bench::photo(900, 600, 17 + static_cast<std::uint32_t>(i));
        const int image = pdf.object(imageObject(photo, inkveil::bench::jpeg(photo, 85)));
        PageSpec page;
        page.texts.push_back(TextRun{72, 740, 16, "Site report " + std::to_string(i + 1)});
        for (int l = 0; l < 14; ++l)
            page.texts.push_back(TextRun{72, 710 - 12.6 * l, 10, words.line(92, l == 3)});
        for (int l = 0; l < 10; ++l)
            page.texts.push_back(TextRun{72, 190 - 12.6 * l, 10, words.line(92, false)});
        page.extraResources = "/XObject << /Im1 " + std::to_string(image) + " 0 R >>";
        page.extraContent = "0.12 0.32 0.62 rg 72 756 468 3 re f\n0.85 0.1 0.1 RG 2 w 70 518 m 542 518 l S\n"
                            "q 468 0 0 312 72 200 cm /Im1 Do Q\n";
        pdf.page(std::move(page));
    }
    pdf.write(path);
}

void writeScan(const QString& path, int pages)
{
    Words words(7);
    PdfBuilder pdf;
    const int font = pdf.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (int i = 0; i < pages; ++i) {
        const auto scan = inkveil::bench::scan(2550, 3300, 5 + static_cast<std::uint32_t>(i));
        const int image = pdf.object(imageObject(scan, inkveil::bench::jpeg(scan, 75)));
        PageSpec page;
        page.extraResources = "/XObject << /Im1 " + std::to_string(image) + " 0 R >> /Font << /F9 "
            + std::to_string(font) + " 0 R >>";
        // Recognised text drawn invisibly over the scan, as OCR tools leave it.
        std::string ocr = "q 612 0 0 792 0 0 cm /Im1 Do Q\nBT 3 Tr /F9 10 Tf\n";
        const int phraseLine = static_cast<int>(words.next(40));
        for (int l = 0; l < 40; ++l)
            ocr += "1 0 0 1 72 " + num(712 - 12 * l) + " Tm " + inkveil::test::pdfLiteral(words.line(92, l == phraseLine))
                + " Tj\n";
        page.extraContent = ocr + "ET\n";
        pdf.page(std::move(page));
    }
    pdf.write(path);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: bench-make-inputs FOLDER\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    writeText(dir.filePath(QStringLiteral("text-50.pdf")), 50);
    writeText(dir.filePath(QStringLiteral("text-200.pdf")), 200);
    writeMixed(dir.filePath(QStringLiteral("mixed-20.pdf")), 20);
    writeScan(dir.filePath(QStringLiteral("scan-20.pdf")), 20);
    return 0;
}
