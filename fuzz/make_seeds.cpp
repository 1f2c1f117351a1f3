// Writes the fuzzers' seed corpus: documents made by the tests' PDF builder,
// small broken variants of each, real outputs of the engine, and region JSON.
// Run: make-fuzz-seeds FOLDER (one subfolder per fuzz target).
#include "fuzz/fuzz_support.h"

#include "core/engine.h"
#include "tests/support/hidden_content_corpus.h"
#include "tests/support/pdf_builder.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <map>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

namespace {

QString g_root;

void put(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString folder = g_root + u'/' + QString::fromLatin1(target);
    QDir().mkpath(folder);
    QFile file(folder + u'/' + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzz::violation("cannot write a seed");
}

QByteArray bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// zlib data as a /FlateDecode stream holds it.
std::string deflated(const std::string& data)
{
    const QByteArray z = qCompress(bytes(data)).mid(4); // qCompress puts the length first
    return z.toStdString();
}

// A 1.5-style file: the pages and content in an object stream, found through a
// cross-reference stream.
QByteArray objectStreamDocument()
{
    const std::string content = "BT /F1 12 Tf 72 700 Td (John Smith in an object stream) Tj ET";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 "
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents 4 0 R >>",
    };
    std::string header, body;
    for (int i = 0; i < 3; ++i) {
        header += std::to_string(i + 1) + " " + std::to_string(body.size()) + " ";
        body += objects[i] + "\n";
    }
    std::string out = "%PDF-1.7\n";
    const size_t contentAt = out.size();
    out += "4 0 obj\n" + inkveil::test::streamObject(content) + "\nendobj\n";
    const size_t objStmAt = out.size();
    out += "5 0 obj\n" + inkveil::test::streamObject(header + body, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()))
        + "\nendobj\n";
    const size_t xrefAt = out.size();
    std::string table;
    auto entry = [&](int type, size_t field2, int field3) {
        table += static_cast<char>(type);
        for (int shift = 24; shift >= 0; shift -= 8)
            table += static_cast<char>((field2 >> shift) & 0xff);
        table += static_cast<char>(field3);
    };
    entry(0, 0, 0);
    entry(2, 5, 0);
    entry(2, 5, 1);
    entry(2, 5, 2);
    entry(1, contentAt, 0);
    entry(1, objStmAt, 0);
    entry(1, xrefAt, 0);
    out += "6 0 obj\n" + inkveil::test::streamObject(table, "/Type /XRef /Size 7 /W [1 4 1] /Root 1 0 R") + "\nendobj\n";
    out += "startxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    return bytes(out);
}

std::map<QString, QByteArray> documents()
{
    std::map<QString, QByteArray> docs;
    for (const auto& d : inkveil::test::hiddenContentCorpus())
        docs[QString(d.name).replace(u' ', u'_')] = d.pdf;

    docs[QStringLiteral("two_pages")] =
        PdfBuilder().textPage("Secret John Smith").textPage("John").info("/Title (T) /Author (A)").build();
    PageSpec rotated;
    rotated.rotate = 90;
    rotated.box[0] = -100;
    rotated.box[1] = 50;
    rotated.texts.push_back({0, 400, 30, "John Smith rotated"});
    docs[QStringLiteral("rotated_offset_box")] = PdfBuilder().page(rotated).build();
    PageSpec boxless;
    boxless.writeMediaBox = false;
    boxless.texts.push_back({72, 700, 12, "John Smith without a box"});
    docs[QStringLiteral("no_media_box")] = PdfBuilder().page(boxless).build();
    docs[QStringLiteral("image")] = PdfBuilder().imagePage(0x40).build();
    PageSpec ligature;
    ligature.texts.push_back({72, 700, 12, "John\nSmith across lines"});
    ligature.texts.push_back({72, 680, 12, "Smith"});
    docs[QStringLiteral("split_phrase")] = PdfBuilder().page(ligature).build();

    const std::string compressed = deflated("BT /F1 24 Tf 72 600 Td (John Smith compressed) Tj ET 0 0 1 rg 100 100 200 50 re f");
    docs[QStringLiteral("flate_content")] = inkveil::test::rawPdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 << /Type /Font /Subtype "
         "/Type1 /BaseFont /Times-Roman >> >> >> /Contents 4 0 R >>",
         inkveil::test::streamObject(compressed, "/Filter /FlateDecode")});
    docs[QStringLiteral("object_stream")] = objectStreamDocument();

    // Filters, colour spaces, shadings, patterns, inline images, a Type 3 font and
    // a font whose codes map to text through a CMap, ligature included.
    const std::string kOnePage = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    const std::string kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const auto pageWith = [&](const std::string& resources) {
        return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << " + resources
            + " >> /Contents 4 0 R >>";
    };
    docs[QStringLiteral("filters_and_colour")] = inkveil::test::rawPdf(
        {kCatalog, kOnePage,
         pageWith("/ColorSpace << /Sep [/Separation /Spot /DeviceCMYK << /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
                  "/C1 [0 1 0 0] /N 1 >>] /Ix [/Indexed /DeviceRGB 1 <FF000000FF00>] >> "
                  "/Shading << /Sh << /ShadingType 2 /ColorSpace /DeviceRGB /Coords [0 0 612 0] /Function << "
                  "/FunctionType 2 /Domain [0 1] /C0 [1 0 0] /C1 [0 0 1] /N 1 >> /Extend [true true] >> >> "
                  "/Pattern << /P << /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep 10 "
                  "/Resources << >> /Length 14 >> >> /XObject << /Hex 5 0 R /A85 6 0 R /RL 7 0 R >>"),
         inkveil::test::streamObject("q 0 0 300 100 re W n /Sh sh Q /Sep cs 0.5 scn 300 0 100 100 re f "
                                     "q 100 0 0 100 0 200 cm BI /W 2 /H 1 /CS /Ix /BPC 8 ID \x01\x01 EI Q "
                                     "q 100 0 0 100 120 200 cm /Hex Do Q q 100 0 0 100 240 200 cm /A85 Do Q "
                                     "q 100 0 0 100 360 200 cm /RL Do Q"),
         inkveil::test::streamObject("00FF00FF>", "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace "
                                                 "/DeviceGray /BitsPerComponent 8 /Filter /ASCIIHexDecode"),
         inkveil::test::streamObject("s8W-!~>", "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace "
                                               "/DeviceGray /BitsPerComponent 8 /Filter /ASCII85Decode"),
         inkveil::test::streamObject(std::string("\x03\x10\x20\x30\x40\x80", 6),
                                     "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                                     "/BitsPerComponent 8 /Filter /RunLengthDecode")});
    docs[QStringLiteral("type3_font")] = inkveil::test::rawPdf(
        {kCatalog, kOnePage,
         pageWith("/Font << /T3 << /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] /FontMatrix [0.001 0 0 "
                  "0.001 0 0] /CharProcs << /square 5 0 R >> /Encoding << /Type /Encoding /Differences [65 /square] "
                  ">> /FirstChar 65 /LastChar 65 /Widths [1000] >> >>"),
         inkveil::test::streamObject("BT /T3 24 Tf 72 700 Td (AAA) Tj ET"),
         inkveil::test::streamObject("1000 0 d0 1 0 0 rg 0 0 800 800 re f")});
    const std::string cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Test def "
                             "1 begincodespacerange <0000> <FFFF> endcodespacerange 3 beginbfchar "
                             "<0001> <004A006F0068006E> <0002> <0020> <0003> <FB01> endbfchar endcmap "
                             "CMapName currentdict /CMap defineresource pop end end";
    docs[QStringLiteral("cid_font_cmap")] = inkveil::test::rawPdf(
        {kCatalog, kOnePage,
         pageWith("/Font << /F0 << /Type /Font /Subtype /Type0 /BaseFont /Helvetica /Encoding /Identity-H "
                  "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Helvetica /CIDSystemInfo "
                  "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 600 /FontDescriptor << /Type /FontDescriptor "
                  "/FontName /Helvetica /Flags 32 /FontBBox [0 0 1000 1000] /ItalicAngle 0 /Ascent 800 /Descent -200 "
                  "/CapHeight 700 /StemV 80 >> >>] /ToUnicode 5 0 R >> >>"),
         inkveil::test::streamObject("BT /F0 14 Tf 72 700 Td <000100020003> Tj ET"),
         inkveil::test::streamObject(cmap)});

    PdfBuilder forms;
    forms.object(inkveil::test::streamObject("/Y Do /Y Do", "/Type /XObject /Subtype /Form /BBox [0 0 612 792] "
                                                          "/Resources << /XObject << /Y 6 0 R >> >>"));
    forms.object(inkveil::test::streamObject("0.5 g 10 10 100 100 re f", "/Type /XObject /Subtype /Form /BBox [0 0 612 792] "
                                                                        "/Group << /S /Transparency >>"));
    PageSpec formPage;
    formPage.texts.push_back({72, 700, 12, "John Smith with forms"});
    formPage.extraResources = "/XObject << /X 5 0 R >>";
    formPage.extraContent = "q 0.5 0 0 0.5 0 0 cm /X Do Q";
    docs[QStringLiteral("forms")] = forms.page(formPage).build();
    return docs;
}

// Small, typical damage: truncation, a lost cross-reference table, a changed byte.
std::map<QString, QByteArray> variants(const QString& name, const QByteArray& pdf)
{
    std::map<QString, QByteArray> out;
    out[name + QStringLiteral("-cut-half")] = pdf.left(pdf.size() / 2);
    out[name + QStringLiteral("-cut-end")] = pdf.left(pdf.size() * 9 / 10);
    QByteArray noXref = pdf;
    const qsizetype xref = noXref.lastIndexOf("xref");
    if (xref > 0)
        noXref.truncate(xref);
    out[name + QStringLiteral("-no-xref")] = noXref + "%%EOF\n";
    QByteArray flipped = pdf;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x20);
    out[name + QStringLiteral("-flipped")] = flipped;
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make-fuzz-seeds FOLDER\n", stderr);
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    fuzz::initialize();

    const QString phrases = fuzz::kFixedPhrase + QStringLiteral("|secret|Project Nightingale|ﬁle caf\u00e9\n");
    for (const auto& [name, pdf] : documents()) {
        std::map<QString, QByteArray> all = variants(name, pdf);
        all[name] = pdf;
        for (const auto& [variant, bytes] : all) {
            put("open_document", variant + QStringLiteral(".pdf"), bytes);
            put("redact", variant + QStringLiteral(".pdf"), bytes);
            put("search", variant + QStringLiteral(".txt"), phrases.toUtf8() + bytes);
        }
        // Real one-page outputs, for verify.
        try {
            const QString source = fuzz::writeInput(name + QStringLiteral(".pdf"), pdf);
            const QString folder = fuzz::scratchFolder() + QStringLiteral("/outputs");
            const RedactionResult result = InkveilEngine::redact(source, folder, fuzz::fixedPlan());
            QFile output(result.output);
            if (result.verification.pageCount == 1 && output.open(QIODevice::ReadOnly)) {
                const QByteArray written = output.readAll();
                put("verify", name + QStringLiteral(".pdf"), written);
                for (const auto& [variant, bytes] : variants(name, written))
                    put("verify", variant + QStringLiteral(".pdf"), bytes);
            }
            QDir(folder).removeRecursively();
        } catch (const Error&) {
        }
    }

    const char* json[] = {
        R"({"pageIndex": 0, "normalizedRect": [[0.1, 0.2], [0.3, 0.4]]})",
        R"([{"pageIndex": 3, "normalizedRect": [[0, 0], [1, 1]]}, {"pageIndex": -1, "normalizedRect": [[2, 2], [-1, -1]]}])",
        R"({"pageIndex": 1.5, "normalizedRect": [[0.1, 0.2], [0.3, 0.4]]})",
        R"({"pageIndex": 9007199254740993, "normalizedRect": [[1e308, -1e308], [1e-320, 0]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0.1, "0.2"], [0.3]]})",
    };
    int i = 0;
    for (const char* text : json)
        put("region_json", QStringLiteral("region-%1.json").arg(++i), QByteArray(text));
    return 0;
}
