#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QFile>

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

    QFile text(path(QStringLiteral("notes.pdf")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("just some words, no PDF here\n");
    text.close();
    EXPECT_FALSE(Document::open(ctx, text.fileName()));
    EXPECT_FALSE(Document::open(ctx, path(QStringLiteral("missing.pdf"))));
    EXPECT_FALSE(Document::open(ctx, dir()));
}
