// Writes scanned documents with known phrases for the OCR benchmark: for each
// NAME, NAME-source.pdf (the text it was printed from, which tells where the
// phrases are) and NAME.pdf (its scan: a picture per page, turned and grainy).
//   letter-300-grey   US Letter at 300 dpi, grey JPEG, Helvetica, Times, Courier, 8 to 14 pt
//   letter-200-grey   the same at 200 dpi
//   letter-300-bw     the same at 300 dpi, 1 bit per pixel
//   letter-200-bw     the same at 200 dpi, 1 bit per pixel
// run.py searches for the phrases in kPhrases.
#include "bench/redact/synthetic_images.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/scan_builder.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

namespace {

const char* const kPhrases[] = {"Nightingale Holdings", "Margaret Okonkwo", "AB-4471-ZX", "Birchwood Lane"};

const char* const kWords[] = {
    "the", "agreement", "party", "shall", "payment", "within", "days", "of", "notice", "and", "to", "any",
    "services", "provided", "under", "this", "schedule", "including", "without", "limitation", "account",
    "client", "records", "confidential", "information", "disclosed", "by", "either", "for", "purpose",
    "term", "renewal", "invoice", "amount", "due", "on", "or", "before", "date", "set", "out", "in", "clause",
    "liability", "damages", "reasonable", "costs", "incurred", "breach", "obligations", "herein", "as", "may",
};

struct Random {
    std::uint32_t state;
    std::uint32_t next(std::uint32_t n)
    {
        state = state * 1664525U + 1013904223U;
        return (state >> 8) % n;
    }
};

std::string literal(const std::string& text) { return inkveil::test::pdfLiteral(text); }

// A page of body text in one font and size, with a phrase on about every
// fourth line.
PageSpec page(Random& random, int font, double size)
{
    PageSpec layout;
    layout.extraResources = "/Font << /H 5 0 R /T 6 0 R /C 7 0 R >>";
    static const char* const names[] = {"H", "T", "C"};
    const double lead = size * 1.35;
    const auto charsPerLine = static_cast<std::size_t>(460 / (size * (font == 2 ? 0.6 : 0.5)));
    std::string content = "BT /" + std::string(names[font]) + " " + std::to_string(size) + " Tf "
        + std::to_string(lead) + " TL 72 720 Td\n";
    for (double y = 720; y > 72; y -= lead) {
        std::string line;
        bool phrase = random.next(4) == 0;
        while (line.size() + 12 < charsPerLine) {
            if (phrase && line.size() > random.next(static_cast<std::uint32_t>(charsPerLine / 2) + 1)) {
                line += std::string(kPhrases[random.next(4)]) + " ";
                phrase = false;
                continue;
            }
            line += std::string(kWords[random.next(sizeof kWords / sizeof *kWords)]) + " ";
        }
        content += literal(line) + " '\n";
    }
    layout.extraContent = content + "ET\n";
    return layout;
}

void write(const QDir& dir, const QString& name, int pages, int dpi, bool bilevel)
{
    Random random{static_cast<std::uint32_t>(dpi + (bilevel ? 1 : 0))};
    PdfBuilder pdf;
    pdf.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    pdf.object("<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>");
    pdf.object("<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>");
    static const double sizes[] = {8, 9, 10, 12, 14};
    for (int i = 0; i < pages; ++i)
        pdf.page(page(random, i % 3, sizes[(i / 3 + i) % 5]));
    const QString source = pdf.write(dir.filePath(name + QStringLiteral("-source.pdf")));

    inkveil::test::ScanStyle style;
    style.dpi = dpi;
    style.bilevel = bilevel;
    style.seed = static_cast<std::uint32_t>(dpi);
    style.jpeg = [](const std::vector<std::uint8_t>& grey, int w, int h) {
        inkveil::bench::Raster raster{w, h, 1, grey};
        return inkveil::bench::jpeg(raster, 75);
    };
    QFile out(dir.filePath(name + QStringLiteral(".pdf")));
    if (!out.open(QIODevice::WriteOnly) || out.write(inkveil::test::scanOf(source, style)) < 0)
        throw std::runtime_error("cannot write the scan");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: bench-make-scans FOLDER [PAGES]\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const int pages = argc > 2 ? std::atoi(argv[2]) : 10;
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    write(dir, QStringLiteral("letter-300-grey"), pages, 300, false);
    write(dir, QStringLiteral("letter-200-grey"), pages, 200, false);
    write(dir, QStringLiteral("letter-300-bw"), pages, 300, true);
    write(dir, QStringLiteral("letter-200-bw"), pages, 200, true);
    return 0;
}
