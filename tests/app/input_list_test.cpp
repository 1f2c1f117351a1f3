#include "tests/app/model_fixture.h"

#include "app/model_messages.h"

#include <QFile>
#include <QFileInfo>

using namespace inkveil;
using namespace inkveil::test;

namespace {

QStringList fileNames(const QList<RedactInput>& inputs)
{
    QStringList names;
    for (const RedactInput& input : inputs)
        names.append(QFileInfo(input.url).fileName());
    return names;
}

} // namespace

class InputListTest : public ModelTest {};

TEST_F(InputListTest, AnUnreadableInputIsLeftOutWithTheRightMessage)
{
    subdir(QStringLiteral("holder/bundle.pdf"));
    const QStringList bad{file(QStringLiteral("gone.pdf")), notPdf(QStringLiteral("notes.pdf")),
                          zeroPagePdf(QStringLiteral("empty.pdf")), file(QStringLiteral("holder"))};
    QSignalSpy inputsChanged(&model(), &AppModel::inputsChanged);
    for (const QString& input : bad) {
        model().setErrorMessage(std::nullopt);
        model().add({input});
        EXPECT_EQ(model().errorMessage(), ModelMessages::pdfUnreadable) << input.toStdString();
    }
    EXPECT_EQ(inputsChanged.count(), 0);

    model().add(bad + QStringList{pdf(QStringLiteral("zz-good.pdf"))});
    EXPECT_TRUE(model().errorMessage()->contains(QStringLiteral("notes.pdf"))) << model().errorMessage()->toStdString();
    EXPECT_EQ(fileNames(model().inputs()), QStringList{QStringLiteral("zz-good.pdf")});
}

TEST_F(InputListTest, AFolderIsAddedSortedOnceAndTheFirstIsSelected)
{
    model().add({subdir(QStringLiteral("docs")), notPdf(QStringLiteral("notes.txt"))});
    EXPECT_EQ(model().errorMessage(), ModelMessages::noPdfsFound);

    pdf(QStringLiteral("docs/scan 10.pdf"));
    const QString two = pdf(QStringLiteral("docs/scan 2.pdf"), 3);
    notPdf(QStringLiteral("docs/broken.pdf"));
    pdf(QStringLiteral("docs/Appendix.PDF"));
    model().add({file(QStringLiteral("docs/./scan 2.pdf")), file(QStringLiteral("docs"))});

    ASSERT_EQ(fileNames(model().inputs()),
              (QStringList{QStringLiteral("Appendix.PDF"), QStringLiteral("scan 2.pdf"), QStringLiteral("scan 10.pdf")}));
    EXPECT_EQ(model().errorMessage(), ModelMessages::somePdfsUnreadable({QStringLiteral("broken.pdf")}));
    const RedactInput second = model().inputs().at(1);
    EXPECT_EQ(second.pageCount, 3);
    EXPECT_EQ(second.byteCount, QFileInfo(two).size());
    EXPECT_EQ(model().selection(), model().inputs().front().id);
    ASSERT_TRUE(waitForPreview());
    EXPECT_FALSE(model().previewImage().isNull());

    // Adding the same again changes nothing and says nothing; a later add keeps the selection and its page.
    model().setErrorMessage(std::nullopt);
    model().setSelection(second.id);
    model().nextPage();
    QSignalSpy inputsChanged(&model(), &AppModel::inputsChanged);
    model().add({file(QStringLiteral("docs/Appendix.PDF")), two});
    EXPECT_EQ(inputsChanged.count(), 0);
    EXPECT_FALSE(model().errorMessage());
    model().add({pdf(QStringLiteral("later.pdf"))});
    EXPECT_EQ(model().selection(), second.id);
    EXPECT_EQ(model().currentPage(), 1);
}

TEST_F(InputListTest, RemovingTakesTheMarksAlongAndMovesTheSelection)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"), 3), pdf(QStringLiteral("c.pdf"))});
    const QList<RedactInput> inputs = model().inputs();
    model().setSelection(inputs.at(1).id);
    model().nextPage();
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});

    model().removeSelected();
    EXPECT_EQ(fileNames(model().inputs()), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("c.pdf")}));
    EXPECT_FALSE(model().marks().contains(inputs.at(1).id));
    EXPECT_EQ(model().selection(), inputs.at(0).id);
    EXPECT_EQ(model().currentPage(), 0);

    model().removeAll();
    EXPECT_TRUE(model().inputs().isEmpty() && model().marks().isEmpty() && model().searchTerms().isEmpty());
    model().removeSelected(); // nothing selected: nothing happens
}

TEST_F(InputListTest, AFileThatChangedOnDiskIsReportedWhenShown)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"))});
    const QList<RedactInput> inputs = model().inputs();

    QFile::remove(file(QStringLiteral("b.pdf")));
    model().setSelection(inputs.at(1).id);
    ASSERT_TRUE(waitForPreview());
    EXPECT_EQ(model().errorMessage(), QStringLiteral("Could not read b.pdf."));
    EXPECT_TRUE(model().previewImage().isNull());

    zeroPagePdf(QStringLiteral("a.pdf"));
    model().setSelection(inputs.at(0).id);
    ASSERT_TRUE(waitForPreview());
    EXPECT_EQ(model().errorMessage(), QStringLiteral("a.pdf contains no pages."));

    pdf(QStringLiteral("a.pdf"));
    model().setErrorMessage(std::nullopt);
    model().refreshPreview();
    ASSERT_TRUE(waitForPreview());
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().previewImage().isNull());
    EXPECT_EQ(model().inputs(), inputs);
}
