#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"


using namespace inkveil;
using namespace inkveil::platform;

class PdfDocumentTest : public inkveil::test::TempDirTest {};

TEST_F(PdfDocumentTest, OpensOnlyReadablePdfsAndPagesInRange)
{
    Context ctx;
    auto doc = Document::open(ctx, inkveil::test::PdfBuilder().textPage("one").textPage("two").write(path(QStringLiteral("a.pdf"))));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->pageCount(), 2);
    EXPECT_TRUE(doc->page(1));
    EXPECT_FALSE(doc->page(2));
    EXPECT_FALSE(doc->page(-1));

    EXPECT_FALSE(Document::open(ctx, inkveil::test::writeFile(path(QStringLiteral("notes.pdf")), "just some words, no PDF here\n")));
    EXPECT_FALSE(Document::open(ctx, path(QStringLiteral("missing.pdf"))));
    EXPECT_FALSE(Document::open(ctx, dir()));
}
