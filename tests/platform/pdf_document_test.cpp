#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

using namespace inkveil;
using namespace inkveil::platform;
using inkveil::test::PdfBuilder;
using inkveil::test::PageSpec;

class PdfDocumentTest : public inkveil::test::TempDirTest {};

TEST_F(PdfDocumentTest, OpensPagesBoxesAndText)
{
    PageSpec odd;
    odd.box[0] = 100; odd.box[1] = 100; odd.box[2] = 712; odd.box[3] = 892;
    odd.rotate = -90;
    odd.texts.push_back({150, 800, 12, "Shifted page"});
    const QString file = PdfBuilder().textPage("Hello World").page(odd).write(path(QStringLiteral("a.pdf")));

    Context ctx;
    auto doc = Document::open(ctx, file);
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->pageCount(), 2);

    auto first = doc->page(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->mediaBox(), (Rect{0, 0, 612, 792}));
    EXPECT_EQ(first->text(), QStringLiteral("Hello World\n"));

    auto second = doc->page(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->mediaBox(), (Rect{100, 100, 612, 792}));
    EXPECT_EQ(second->rotation(), 270);
    // Character boxes come back in page space, whatever the rotation.
    const auto lines = second->textLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0].chars[0].box.x, 150, 1.0);
    EXPECT_GT(lines[0].chars[0].box.y + lines[0].chars[0].box.height, 800);
    EXPECT_LT(lines[0].chars[0].box.y, 800);

    EXPECT_FALSE(doc->page(2));
    EXPECT_FALSE(doc->page(-1));
}

TEST_F(PdfDocumentTest, RejectsWhatIsNotAReadablePdf)
{
    Context ctx;
    QFile text(path(QStringLiteral("notes.pdf")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("just some words, no PDF here\n");
    text.close();
    EXPECT_FALSE(Document::open(ctx, text.fileName()));
    EXPECT_FALSE(Document::open(ctx, path(QStringLiteral("missing.pdf"))));
    EXPECT_FALSE(Document::open(ctx, dir()));
}
