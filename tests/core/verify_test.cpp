#include "core/engine.h"
#include "core/pixel_geometry.h"
#include "platform/image_pdf_writer.h"
#include "platform/page_image.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <optional>

using namespace inkveil;
using inkveil::test::PageSpec;
using inkveil::test::PdfBuilder;

namespace {

const QString kHidden = QStringLiteral("The redacted PDF could not be verified: hidden text, annotations or personal metadata remain");
const QString kSelectable = QStringLiteral("The redacted PDF could not be verified: redacted text remains selectable");
const QString kPageCount = QStringLiteral("The redacted PDF could not be verified: page count changed");
const QString kNotCovered = QStringLiteral("The redacted PDF could not be verified: a marked area is not fully covered");

} // namespace

class VerifyTest : public inkveil::test::TempDirTest {
protected:
    // The verdict of verify: "" when it passes, the error text otherwise.
    QString verdict(const PdfBuilder& builder, std::int64_t pages = 1, const QStringList& terms = {},
                    const std::vector<RedactionRegion>& painted = {})
    {
        return verdictOf(builder.write(nextPath()), pages, terms, painted);
    }
    QString verdictOf(const QString& file, std::int64_t pages = 1, const QStringList& terms = {},
                      const std::vector<RedactionRegion>& painted = {})
    {
        try {
            const auto v = InkveilEngine::verify(file, pages, 7, terms, painted);
            EXPECT_EQ(v, (RedactionVerification{pages, 7, false, false, false}));
        } catch (const Error& e) {
            return e.description();
        }
        return {};
    }
    QString nextPath() { return path(QStringLiteral("out%1.pdf").arg(++m_count)); }
    QString written(const QByteArray& bytes) { return inkveil::test::writeFile(nextPath(), bytes); }

private:
    int m_count = 0;
};

TEST_F(VerifyTest, ImageOnlyPagesPassWhenTheCountMatches)
{
    EXPECT_EQ(verdict(PdfBuilder().imagePage().imagePage(), 2, {QStringLiteral("john")}), QString());
    EXPECT_EQ(verdict(PdfBuilder().imagePage().imagePage().imagePage(), 4), kPageCount);
    EXPECT_EQ(verdictOf(written("not a PDF at all")), kPageCount);
}

TEST_F(VerifyTest, ForbiddenTermsAreReportedBeforeOtherText)
{
    EXPECT_EQ(verdict(PdfBuilder().textPage("JOHN SMITH"), 1, {QStringLiteral("john")}), kSelectable);
    // Text on page 1, the term on page 3: the term wins.
    EXPECT_EQ(verdict(PdfBuilder().textPage("Other").imagePage().textPage("call john now"), 3, {QStringLiteral("John")}),
              kSelectable);
    // Accents are significant.
    EXPECT_EQ(verdict(PdfBuilder().textPage("Ren\xE9"), 1, {QStringLiteral("rene")}), kHidden);
    EXPECT_EQ(verdict(PdfBuilder().textPage("Ren\xE9"), 1, {QStringLiteral("REN\u00C9")}), kSelectable);
}

TEST_F(VerifyTest, PersonalMetadataCounts)
{
    const std::pair<const char*, bool> cases[] = {
        {"/Title ( )", true},
        {"/Title ()", false},
        {"/Author (Jane)", true},
        {"/Keywords [()]", true},
        {"/Title 42", true},
        {"/Producer (Something) /Creator (Else) /CreationDate (D:20260101000000Z)", false},
    };
    for (const auto& [info, fails] : cases)
        EXPECT_EQ(verdict(PdfBuilder().imagePage().info(info)), fails ? kHidden : QString()) << info;
}

TEST_F(VerifyTest, AnythingButOnePageImageIsHiddenContent)
{
    // Text drawn invisibly (render mode 3), as OCR layers do.
    PageSpec invisible;
    invisible.texts.push_back({72, 700, 12, "x"});
    invisible.extraContent = "BT 3 Tr /F1 12 Tf 72 600 Td (hidden words) Tj ET";
    EXPECT_EQ(verdict(PdfBuilder().page(invisible)), kHidden);

    PageSpec annotated;
    annotated.annots = {"<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>"};
    EXPECT_EQ(verdict(PdfBuilder().imagePage().page(annotated), 2), kHidden);

    for (const char* catalog : {"/Metadata << /Type /Metadata /Subtype /XML >>", "/Names << /EmbeddedFiles << /Names [] >> >>",
                                "/OpenAction << /S /JavaScript /JS (app.alert(1)) >>", "/AcroForm << /Fields [] >>",
                                "/OCProperties << /OCGs [] /D << >> >>"})
        EXPECT_EQ(verdict(PdfBuilder().imagePage().catalogEntries(catalog)), kHidden) << catalog;

    // A second drawing next to the image, and an unreferenced font object.
    PageSpec drawn;
    drawn.extraContent = "0 0 10 10 re f";
    EXPECT_EQ(verdict(PdfBuilder().page(drawn)), kHidden);
    PdfBuilder orphan;
    orphan.object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    EXPECT_EQ(verdict(orphan.imagePage()), kHidden);
}

TEST_F(VerifyTest, OlderRevisionsAreHiddenContent)
{
    QByteArray data = PdfBuilder().imagePage().build();
    // An incremental update that replaces the Info dictionary.
    const qsizetype offset = data.size();
    const QByteArray object = "4 0 obj\n<< >>\nendobj\n";
    const qsizetype previous = data.lastIndexOf("\nxref") + 1;
    data += object + "xref\n4 1\n" + QByteArray::number(offset).rightJustified(10, '0')
        + " 00000 n \ntrailer\n<< /Size 8 /Root 1 0 R /Info 4 0 R /Prev " + QByteArray::number(previous)
        + " >>\nstartxref\n" + QByteArray::number(offset + object.size()) + "\n%%EOF\n";
    EXPECT_EQ(verdictOf(written(data)), kHidden);
}

TEST_F(VerifyTest, PaintedRegionsMustBeBlack)
{
    const std::vector<RedactionRegion> marks{RedactionRegion(0, Rect{0, 0, 1, 1})};
    EXPECT_EQ(verdict(PdfBuilder().imagePage(0x00), 1, {}, marks), QString());
    EXPECT_EQ(verdict(PdfBuilder().imagePage(0x80), 1, {}, marks), kNotCovered);
    // A mark on another page asks nothing of this one.
    EXPECT_EQ(verdict(PdfBuilder().imagePage(0x80).imagePage(0x00), 2, {}, {RedactionRegion(1, Rect{0, 0, 1, 1})}),
              QString());
}

namespace {

// A one-page output as the redactor writes it: w × h pixels on a page of w × h
// points, background everywhere, black over the pixel box [x0, x1) × [y0, y1)
// (rows from the top) except for the pixel `hole`, when given.
QString ownOutput(const QString& file, int w, int h, std::array<std::uint8_t, 3> background, PixelRect box,
                  std::optional<std::pair<int, int>> hole)
{
    platform::PixelBuffer pixels;
    pixels.reset(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            std::copy(background.begin(), background.end(), pixels.row(y) + 3 * x);
    }
    pixels.fillBlack(box.x0, box.y0, box.x1, box.y1);
    if (hole)
        std::copy(background.begin(), background.end(), pixels.row(hole->second) + 3 * hole->first);
    platform::PageImageEncoder encoder;
    const platform::EncodedImage image = encoder.encode(pixels);
    const int fd = ::open(QFile::encodeName(file).constData(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    platform::ImagePdfWriter writer(fd);
    writer.addPage(w, h, 0, image);
    writer.finish();
    ::close(fd);
    return file;
}

} // namespace

TEST_F(VerifyTest, MarksInOwnPageImagesAreCheckedPixelByPixel)
{
    const int w = 37, h = 23;
    const PixelRect box{5, 3, 21, 12};
    const RedactionRegion mark(0, Rect{5.0 / w, 1 - 12.0 / h, 16.0 / w, 9.0 / h});
    const std::array<std::uint8_t, 3> backgrounds[] = {{0xff, 0xff, 0xff}, {0x80, 0x80, 0x80}, {0x20, 0x90, 0xd0}};
    for (const auto& background : backgrounds) {
        SCOPED_TRACE(background[2]);
        EXPECT_EQ(verdictOf(ownOutput(nextPath(), w, h, background, box, std::nullopt), 1, {}, {mark}), QString());
        // One pixel in the box's last row and column, where bit and byte edges fall.
        EXPECT_EQ(verdictOf(ownOutput(nextPath(), w, h, background, box, std::pair{box.x1 - 1, box.y1 - 1}), 1, {}, {mark}),
                  kNotCovered);
    }
}

TEST_F(VerifyTest, ImageDataShortOfTheImageIsNotBlack)
{
    // Readers pad missing rows, often with zeros, which would read as black.
    const std::string rows(4 * 9, '\0'); // 4 of 8 rows of 8 grey pixels, each after its predictor byte
    std::string packed(compressBound(rows.size()), '\0');
    uLongf size = packed.size();
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()),
                        rows.size(), 9),
              Z_OK);
    packed.resize(size);
    PdfBuilder builder;
    const int image = builder.object("<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
                                     "/BitsPerComponent 8 /Filter /FlateDecode /DecodeParms << /Predictor 15 /Colors 1 "
                                     "/BitsPerComponent 8 /Columns 8 >> /Length "
                                     + std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream");
    PageSpec page;
    page.box[2] = 8;
    page.box[3] = 8;
    page.extraResources = "/XObject << /Im0 " + std::to_string(image) + " 0 R >>";
    page.extraContent = "q 8 0 0 8 0 0 cm /Im0 Do Q";
    builder.page(page);
    EXPECT_EQ(verdict(builder, 1, {}, {RedactionRegion(0, Rect{0, 0, 1, 1})}), kNotCovered);
}
