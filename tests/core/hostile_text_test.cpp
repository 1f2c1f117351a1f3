// Phrases drawn the ways real producers draw text: each document is redacted
// with the phrase, and poppler's rendering of the output must show none of
// the phrase's ink while the text around it stays readable.

#include "core/engine.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/poppler.h"
#include "tests/support/test_env.h"

#include <QFile>

#include <functional>
#include <string>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;
using inkveil::test::Raster;

namespace {

constexpr int kDpi = 100;

std::string hex16(char32_t c)
{
    const QString s = QString::fromUcs4(&c, 1);
    std::string out;
    for (const QChar unit : s) {
        char buf[5];
        std::snprintf(buf, sizeof buf, "%04X", unit.unicode());
        out += buf;
    }
    return out;
}

// A ToUnicode map from single-byte codes to characters.
std::string toUnicode(const std::vector<std::pair<unsigned char, char32_t>>& map)
{
    std::string body = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
                       "1 begincodespacerange <00> <FF> endcodespacerange "
        + std::to_string(map.size()) + " beginbfchar ";
    for (const auto& [code, c] : map) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "<%02X> ", code);
        body += buf + ("<" + hex16(c) + "> ");
    }
    body += "endbfchar endcmap CMapName currentdict /CMap defineresource pop end end";
    return inkveil::test::streamObject(body);
}

// A Type 3 font whose glyphs for codes a, b, c, … each fill a box; `shift`
// moves the box away from the glyph's origin (in glyph units), and the font
// claims a tiny bounding box whatever the glyphs draw.
std::string type3Font(PdfBuilder& pdf, int glyphs, int shiftX, int toUnicodeObject, bool standardNames = true)
{
    std::string procs, names;
    for (int i = 0; i < glyphs; ++i) {
        const std::string name = standardNames ? std::string(1, static_cast<char>('a' + i)) : "g" + std::to_string(i);
        // Each glyph a box with a notch of its own, so that copies differ.
        const std::string draw = "1000 0 d0 " + std::to_string(100 + shiftX) + " 0 600 700 re f "
            + std::to_string(150 + shiftX + 40 * i) + " 720 80 80 re f";
        procs += "/" + name + " " + std::to_string(pdf.object(inkveil::test::streamObject(draw))) + " 0 R ";
        names += "/" + name + " ";
    }
    std::string font = "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1 1] /FontMatrix [0.001 0 0 0.001 0 0] "
                       "/FirstChar 97 /LastChar "
        + std::to_string(96 + glyphs) + " /Widths [";
    for (int i = 0; i < glyphs; ++i)
        font += "1000 ";
    font += "] /Encoding << /Differences [97 " + names + "] >> /CharProcs << " + procs + " >> /Resources << >> ";
    if (toUnicodeObject > 0)
        font += "/ToUnicode " + std::to_string(toUnicodeObject) + " 0 R ";
    return font + ">>";
}

struct Case {
    const char* name;
    QString phrase;
    // Writes the page; the phrase's drawing only when `withPhrase`.
    std::function<void(PdfBuilder&, PageSpec&, bool withPhrase)> draw;
    std::int64_t occurrences;
};

std::string helvetica(PdfBuilder& pdf, const char* base = "Helvetica", const std::string& extra = {})
{
    return std::to_string(pdf.object(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + base
                                      + " /Encoding /WinAnsiEncoding " + extra + " >>"));
}

// Lines of context above and below the phrase's line, and a word after it.
const std::string kContext = "BT /H 12 Tf 72 714 Td (Above the line) Tj ET BT /H 12 Tf 72 686 Td (Below the line) Tj ET "
                             "BT /H 12 Tf 300 700 Td (context) Tj ET ";

// "Strictly " and " terms" where the hyphenated lines have them: "tial" is
// 1.278 em wide.
const std::string kStrictlyTerms = "BT /P 12 Tf 150 700 Td (Strictly ) Tj ET BT /P 12 Tf 72 672 Td [-1278 ( terms)] TJ ET";

std::vector<Case> cases()
{
    std::vector<Case> all;
    // `instead` is drawn in place of the phrase's operators: the text around
    // the phrase on its own line.
    const auto plain = [](std::string phraseOps, std::string instead = {}, const char* base = "Helvetica") {
        return [=](PdfBuilder& pdf, PageSpec& page, bool with) {
            page.extraResources = "/Font << /H " + helvetica(pdf) + " 0 R /P " + helvetica(pdf, base) + " 0 R >>";
            page.extraContent = kContext + (with ? phraseOps : instead);
        };
    };
    const auto type3 = [](std::string phraseOps, int glyphs, int shift,
                          std::vector<std::pair<unsigned char, char32_t>> map, bool standardNames = true) {
        return [=](PdfBuilder& pdf, PageSpec& page, bool with) {
            const int cmap = map.empty() ? 0 : pdf.object(toUnicode(map));
            const int font = pdf.object(type3Font(pdf, glyphs, shift, cmap, standardNames));
            page.extraResources = "/Font << /H " + helvetica(pdf) + " 0 R /T " + std::to_string(font) + " 0 R >>";
            page.extraContent = kContext + (with ? phraseOps : std::string());
        };
    };

    // Spacing that extraction turns into words of one letter.
    all.push_back({"letter-spaced", QStringLiteral("secret"), plain("BT /P 12 Tf 3 Tc 72 700 Td (SECRET) Tj ET"), 1});
    all.push_back({"kerned apart", QStringLiteral("secret"),
                   plain("BT /P 12 Tf 72 700 Td [(S) -400 (E) -400 (C) -400 (R) -400 (E) -400 (T)] TJ ET"), 1});
    all.push_back({"ideographs spaced", QString::fromUtf8("山田太郎"),
                   type3("BT /T 12 Tf 72 700 Td 6 Tc (abcd) Tj ET", 4, 0,
                         {{'a', U'山'}, {'b', U'田'}, {'c', U'太'}, {'d', U'郎'}}),
                   1});
    // Breaks and typography.
    all.push_back({"hyphenated", QStringLiteral("confidential"),
                   plain("BT /P 12 Tf 150 700 Td (Strictly confiden-) Tj ET BT /P 12 Tf 72 672 Td (tial terms) Tj ET",
                         kStrictlyTerms),
                   1});
    all.push_back({"soft hyphen", QStringLiteral("confidential"),
                   plain("BT /P 12 Tf 150 700 Td (Strictly confiden\xAD) Tj ET BT /P 12 Tf 72 672 Td (tial terms) Tj ET",
                         kStrictlyTerms),
                   1});
    all.push_back({"curly apostrophe", QStringLiteral("O'Brien"), plain("BT /P 12 Tf 72 700 Td (Ms O\x92" "Brien) Tj ET", "BT /P 12 Tf 72 700 Td (Ms ) Tj ET"), 1});
    all.push_back({"en dash", QStringLiteral("1995-2005"), plain("BT /P 12 Tf 72 700 Td (1995\x96" "2005) Tj ET"), 1});
    // Characters that read alike or not at all.
    all.push_back({"Cyrillic look-alike", QStringLiteral("CLIENT"),
                   [](PdfBuilder& pdf, PageSpec& page, bool with) {
                       const int cmap = pdf.object(toUnicode({{'C', U'\u0421'}, {'L', U'L'}, {'I', U'\u0406'},
                                                              {'E', U'\u0415'}, {'N', U'N'}, {'T', U'\u0422'}}));
                       page.extraResources = "/Font << /H " + helvetica(pdf) + " 0 R /P "
                           + helvetica(pdf, "Helvetica", "/ToUnicode " + std::to_string(cmap) + " 0 R") + " 0 R >>";
                       page.extraContent = kContext + (with ? "BT /P 12 Tf 72 700 Td (CLIENT) Tj ET" : "");
                   },
                   1});
    all.push_back({"ignorable inside", QStringLiteral("John"),
                   [](PdfBuilder& pdf, PageSpec& page, bool with) {
                       const int cmap = pdf.object(toUnicode(
                           {{'J', U'J'}, {'o', U'o'}, {'h', U'h'}, {'n', U'n'}, {'x', U'\u034F'}}));
                       page.extraResources = "/Font << /H " + helvetica(pdf) + " 0 R /P "
                           + helvetica(pdf, "Helvetica", "/ToUnicode " + std::to_string(cmap) + " 0 R") + " 0 R >>";
                       page.extraContent = kContext
                           + (with ? "BT /P 12 Tf 72 700 Td (Jo) Tj 3 Tr (x) Tj 0 Tr (hn) Tj ET" : "");
                   },
                   1});
    // Drawing order that is not reading order.
    all.push_back({"words swapped", QStringLiteral("John Smith"),
                   plain("BT /P 12 Tf 101 700 Td (Smith) Tj ET BT /P 12 Tf 72 700 Td (John) Tj ET"), 1});
    all.push_back({"letters shuffled", QStringLiteral("secret"),
                   // S 8.004, E 8.004, C 8.664, R 8.664, E 8.004, T: x from 72 at 12 pt.
                   plain("BT /P 12 Tf 96.672 700 Td (R) Tj ET BT /P 12 Tf 72 700 Td (S) Tj ET "
                         "BT /P 12 Tf 113.34 700 Td (T) Tj ET BT /P 12 Tf 88.008 700 Td (C) Tj ET "
                         "BT /P 12 Tf 105.336 700 Td (E) Tj ET BT /P 12 Tf 80.004 700 Td (E) Tj ET"),
                   1});
    all.push_back({"drawn right to left", QStringLiteral("secret"),
                   plain("BT /P 12 Tf 113.34 700 Td (T) Tj -8.004 0 Td (E) Tj -8.664 0 Td (R) Tj -8.664 0 Td (C) Tj "
                         "-8.004 0 Td (E) Tj -8.004 0 Td (S) Tj ET"),
                   1});
    all.push_back({"two lines interleaved", QStringLiteral("total due"),
                   plain("BT /P 12 Tf 1 0 0 1 72 640 Tm (T) Tj 1 0 0 1 72 626 Tm (P) Tj 1 0 0 1 79.332 640 Tm (o) Tj "
                         "1 0 0 1 80.004 626 Tm (a) Tj 1 0 0 1 86.004 640 Tm (tal due) Tj 1 0 0 1 86.676 626 Tm (id) Tj ET",
                         "BT /P 12 Tf 1 0 0 1 72 626 Tm (Paid) Tj ET"),
                   1});
    all.push_back({"drawn twice for bold", QStringLiteral("John"),
                   plain("BT /P 12 Tf 72 700 Td (John) Tj ET BT /P 12 Tf 72.4 700.2 Td (John) Tj ET"), 1});
    all.push_back({"right to left in visual order", QString::fromUtf8("שלום"),
                   type3("BT /T 12 Tf 72 700 Td (abcd) Tj ET", 4, 0,
                         {{'a', U'\u05DD'}, {'b', U'\u05D5'}, {'c', U'\u05DC'}, {'d', U'\u05E9'}}),
                   1});
    all.push_back({"Arabic in visual order with a ligature", QString::fromUtf8("سلام"),
                   type3("BT /T 12 Tf 72 700 Td (abc) Tj ET", 3, 0, {{'a', U'\uFEE2'}, {'b', U'\uFEFB'}, {'c', U'\uFEB3'}}),
                   1});
    // Text repeated by a tiling pattern: 3 columns of 4 rows.
    all.push_back({"tiling pattern", QStringLiteral("secret"),
                   [](PdfBuilder& pdf, PageSpec& page, bool with) {
                       const std::string h = helvetica(pdf);
                       const std::string cell = with ? "BT /H 10 Tf 2 8 Td (SECRET) Tj ET" : "";
                       const int pattern = pdf.object(inkveil::test::streamObject(
                           cell, "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 90 24] "
                                 "/XStep 100 /YStep 30 /Resources << /Font << /H "
                               + h + " 0 R >> >> /Matrix [1 0 0 1 72 400]"));
                       page.extraResources = "/Font << /H " + h + " 0 R >> /Pattern << /Pa " + std::to_string(pattern)
                           + " 0 R >>";
                       page.extraContent = kContext + "/Pattern cs /Pa scn 72 400 300 120 re f";
                   },
                   12});
    // Ink beyond the character boxes.
    all.push_back({"glyphs drawn off their origin", QStringLiteral("abc"),
                   type3("BT /T 12 Tf 72 700 Td (abc) Tj ET", 3, 1500, {{'a', U'a'}, {'b', U'b'}, {'c', U'c'}}), 1});
    all.push_back({"wide stroke", QStringLiteral("secret"), plain("BT /P 12 Tf 2 Tr 3 w 72 700 Td (SECRET) Tj ET"), 1});
    all.push_back({"stroke with long miters", QStringLiteral("wavy"),
                   plain("BT /P 12 Tf 2 Tr 2 w 0 j 8 M 72 640 Td (WAVY) Tj ET"), 1});
    all.push_back({"embedded font with lying widths", QStringLiteral("wolf"),
                   [](PdfBuilder& pdf, PageSpec& page, bool with) {
                       QFile file(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"));
                       const bool opened = file.open(QIODevice::ReadOnly);
                       const QByteArray bytes = opened ? file.readAll() : QByteArray();
                       const std::string data(bytes.constData(), static_cast<std::size_t>(bytes.size()));
                       const int program = pdf.object(inkveil::test::streamObject(data, "/Length1 " + std::to_string(data.size())));
                       const int descriptor = pdf.object(
                           "<< /Type /FontDescriptor /FontName /Lying /Flags 32 /FontBBox [0 0 200 200] /ItalicAngle 0 "
                           "/Ascent 200 /Descent 0 /CapHeight 200 /StemV 80 /FontFile2 "
                           + std::to_string(program) + " 0 R >>");
                       std::string widths;
                       for (int c = 32; c <= 126; ++c)
                           widths += "150 ";
                       const int font = pdf.object("<< /Type /Font /Subtype /TrueType /BaseFont /Lying /FirstChar 32 "
                                                   "/LastChar 126 /Widths [" + widths + "] /Encoding /WinAnsiEncoding "
                                                   "/FontDescriptor " + std::to_string(descriptor) + " 0 R >>");
                       page.extraResources = "/Font << /H " + helvetica(pdf) + " 0 R /L " + std::to_string(font) + " 0 R >>";
                       page.extraContent = kContext + (with ? "BT /L 24 Tf 72 630 Td (Wolf) Tj ET" : "");
                   },
                   1});
    all.push_back({"italic at display size", QStringLiteral("ff"),
                   plain("BT /P 40 Tf 72 650 Td (ff) Tj ET", {}, "Helvetica-BoldOblique"), 1});
    all.push_back({"actual text around a text object", QStringLiteral("secret"),
                   type3("/Span << /ActualText (SECRET) >> BDC BT /T 12 Tf 72 700 Td (abcdef) Tj ET EMC", 6, 0, {},
                         false),
                   1});
    all.push_back({"actual text only", QStringLiteral("secret"),
                   type3("BT /T 12 Tf 72 700 Td /Span << /ActualText (SECRET) >> BDC (abcdef) Tj EMC ET", 6, 0, {},
                         false),
                   1});
    return all;
}

bool dark(const Raster& r, int x, int y, int threshold)
{
    return x >= 0 && y >= 0 && x < r.width && y < r.height && r.at(x, y)[0] < threshold;
}

// Ink of `with` that `without` lacks, and of it the pixels still legible in
// `output`: not dark, or dark beside a light pixel.
struct InkCount {
    int ink = 0;
    int legible = 0;
};
InkCount legibleInk(const Raster& with, const Raster& without, const Raster& output)
{
    InkCount count;
    for (int y = 0; y < with.height; ++y) {
        for (int x = 0; x < with.width; ++x) {
            if (!dark(with, x, y, 100) || dark(without, x, y, 200))
                continue;
            ++count.ink;
            bool hidden = dark(output, x, y, 100);
            for (int dy = -1; dy <= 1 && hidden; ++dy) {
                for (int dx = -1; dx <= 1 && hidden; ++dx)
                    hidden = dark(output, x + dx, y + dy, 200);
            }
            count.legible += hidden ? 0 : 1;
        }
    }
    return count;
}

// Ink of `source` that lies inside a black area of `output`.
int coveredInk(const Raster& source, const Raster& output)
{
    int covered = 0;
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            if (!dark(source, x, y, 100))
                continue;
            bool black = true;
            for (int dy = -2; dy <= 2 && black; ++dy) {
                for (int dx = -2; dx <= 2 && black; ++dx)
                    black = dark(output, x + dx, y + dy, 100);
            }
            covered += black ? 1 : 0;
        }
    }
    return covered;
}

class HostileTextTest : public inkveil::test::TempDirTest {};

} // namespace

TEST_F(HostileTextTest, EveryWayOfDrawingAPhraseIsFoundAndBlackedOut)
{
    if (!inkveil::test::havePoppler())
        GTEST_SKIP() << "poppler-utils missing";
    int n = 0;
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        QString files[2];
        for (const bool with : {true, false}) {
            PdfBuilder pdf;
            PageSpec page;
            c.draw(pdf, page, with);
            pdf.page(page);
            files[with ? 0 : 1] = pdf.write(path(QStringLiteral("%1-%2.pdf").arg(++n).arg(with)));
        }

        platform::Context ctx;
        auto document = platform::Document::open(ctx, files[0]);
        ASSERT_TRUE(document);
        const InkveilEngine::SearchReport report = InkveilEngine::search(*document, {c.phrase});
        document.reset();
        ASSERT_EQ(report.phrases.size(), 1u);
        EXPECT_EQ(report.phrases[0].count, c.occurrences);

        RedactionPlan plan;
        plan.searchTerms = {c.phrase};
        const QString folder = path(QStringLiteral("out%1").arg(n));
        RedactionResult result;
        try {
            result = InkveilEngine::redact(files[0], folder, plan);
        } catch (const Error& e) {
            ADD_FAILURE() << e.description().toStdString();
            continue;
        }
        const auto with = inkveil::test::popplerRenderedPage(files[0], 1, kDpi);
        const auto without = inkveil::test::popplerRenderedPage(files[1], 1, kDpi);
        const auto output = inkveil::test::popplerRenderedPage(result.output, 1, kDpi);
        ASSERT_TRUE(with && without && output);

        const InkCount phrase = legibleInk(*with, *without, *output);
        EXPECT_GT(phrase.ink, 20);
        EXPECT_EQ(phrase.legible, 0) << "of " << phrase.ink << " ink pixels";
        // The lines above and below and the next word: none of it under black.
        EXPECT_EQ(coveredInk(*without, *output), 0);
    }
}
