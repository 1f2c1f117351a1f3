#include "tests/app/model_fixture.h"

#include "app/model_messages.h"
#include "platform/pdf_document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

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

// ---- What gets added, and what is said about it ---------------------------

struct BadInput {
    const char* name;
    std::function<QString(ModelTest&)> make;
};

inline void PrintTo(const BadInput& value, std::ostream* out) { *out << value.name; }

class UnreadableInputTest : public InputListTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(UnreadableInputTest, AloneIsReportedAndNothingIsAdded)
{
    const QString file = GetParam().make(*this);
    if (file.isEmpty())
        GTEST_SKIP() << "qpdf is needed to make an encrypted PDF";
    Emissions inputsChanged(model(), &AppModel::inputsChanged);

    model().add({file});

    EXPECT_EQ(model().errorMessage(), ModelMessages::pdfUnreadable);
    EXPECT_TRUE(model().inputs().isEmpty());
    EXPECT_EQ(inputsChanged.count(), 0);
    EXPECT_FALSE(model().selection());
}

TEST_P(UnreadableInputTest, BesideGoodOnesIsLeftOutWithAWarning)
{
    const QString bad = GetParam().make(*this);
    if (bad.isEmpty())
        GTEST_SKIP() << "qpdf is needed to make an encrypted PDF";
    const QString good = pdf(QStringLiteral("zz-good.pdf"));

    model().add({bad, good});

    EXPECT_EQ(model().errorMessage(), ModelMessages::somePdfsUnreadable);
    EXPECT_EQ(fileNames(model().inputs()), QStringList{QStringLiteral("zz-good.pdf")});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnreadableInputTest,
    ::testing::Values(
        BadInput{"missing", [](ModelTest& t) { return t.file(QStringLiteral("gone.pdf")); }},
        BadInput{"notPdf", [](ModelTest& t) { return t.notPdf(QStringLiteral("notes.pdf")); }},
        BadInput{"truncated", [](ModelTest& t) { return t.truncatedPdf(QStringLiteral("cut.pdf")); }},
        BadInput{"zeroPages", [](ModelTest& t) { return t.zeroPagePdf(QStringLiteral("empty.pdf")); }},
        BadInput{"encrypted", [](ModelTest& t) { return t.encryptedPdf(QStringLiteral("locked.pdf")); }},
        BadInput{"folderNamedPdf", [](ModelTest& t) {
                     t.subdir(QStringLiteral("holder/bundle.pdf"));
                     return t.file(QStringLiteral("holder"));
                 }}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST_F(InputListTest, NothingToAddIsReported)
{
    model().add({});
    EXPECT_EQ(model().errorMessage(), ModelMessages::noPdfsFound);

    model().setErrorMessage(std::nullopt);
    QFile text(path(QStringLiteral("notes.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    model().add({subdir(QStringLiteral("empty")), text.fileName()});
    EXPECT_EQ(model().errorMessage(), ModelMessages::noPdfsFound);
    EXPECT_TRUE(model().inputs().isEmpty());
}

TEST_F(InputListTest, AFolderIsAddedSortedWithItsReadableDocuments)
{
    const QString folder = subdir(QStringLiteral("docs"));
    pdf(QStringLiteral("docs/scan 10.pdf"));
    pdf(QStringLiteral("docs/scan 2.pdf"), 3);
    truncatedPdf(QStringLiteral("docs/broken.pdf"));
    pdf(QStringLiteral("docs/Appendix.PDF"));

    model().add({folder});

    ASSERT_EQ(fileNames(model().inputs()),
              (QStringList{QStringLiteral("Appendix.PDF"), QStringLiteral("scan 2.pdf"), QStringLiteral("scan 10.pdf")}));
    EXPECT_EQ(model().errorMessage(), ModelMessages::somePdfsUnreadable);
    EXPECT_EQ(model().inputs().at(1).pageCount, 3);
}

TEST_F(InputListTest, ARecordKeepsItsLocationPagesAndSize)
{
    const QString file = pdf(QStringLiteral("three.pdf"), 3);

    model().add({file});

    ASSERT_EQ(model().inputs().size(), 1);
    const RedactInput input = model().inputs().front();
    EXPECT_EQ(input.url, file);
    EXPECT_EQ(input.pageCount, 3);
    EXPECT_EQ(input.byteCount, QFileInfo(file).size());
    EXPECT_FALSE(input.id.isNull());
}

// ---- Duplicates ------------------------------------------------------------

TEST_F(InputListTest, ADocumentIsNeverListedTwice)
{
    const QString folder = subdir(QStringLiteral("docs"));
    const QString a = pdf(QStringLiteral("docs/a.pdf"));
    pdf(QStringLiteral("docs/b.pdf"));

    model().add({folder + QStringLiteral("/./a.pdf"), a});
    EXPECT_EQ(fileNames(model().inputs()), QStringList{QStringLiteral("a.pdf")});

    // Adding the folder brings only what is new.
    model().add({folder});
    EXPECT_EQ(fileNames(model().inputs()), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}));

    // Everything known already: no change, no message.
    model().setErrorMessage(std::nullopt);
    Emissions inputsChanged(model(), &AppModel::inputsChanged);
    Emissions errors(model(), &AppModel::errorMessageChanged);
    model().add({folder, a});
    EXPECT_EQ(model().inputs().size(), 2);
    EXPECT_EQ(inputsChanged.count(), 0);
    EXPECT_EQ(errors.count(), 0);
    EXPECT_FALSE(model().errorMessage());
}

// ---- Selection ---------------------------------------------------------------

TEST_F(InputListTest, TheFirstAddedIsSelectedOnlyWhenNothingWas)
{
    const QString a = pdf(QStringLiteral("a.pdf"), 2);
    const QString b = pdf(QStringLiteral("b.pdf"));

    model().add({a});
    const QUuid first = model().inputs().front().id;
    EXPECT_EQ(model().selection(), first);
    EXPECT_EQ(model().currentPage(), 0);
    EXPECT_FALSE(model().previewImage().isNull());

    model().nextPage();
    model().add({b});
    EXPECT_EQ(model().selection(), first);
    EXPECT_EQ(model().currentPage(), 1);
}

TEST_F(InputListTest, RemovingMovesTheSelectionToTheFirstRemaining)
{
    model().add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"), 3), pdf(QStringLiteral("c.pdf"))});
    const QList<RedactInput> inputs = model().inputs();
    model().setSelection(inputs.at(1).id);
    model().nextPage();
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    ASSERT_TRUE(model().marks().contains(inputs.at(1).id));

    model().removeSelected();

    EXPECT_EQ(fileNames(model().inputs()), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("c.pdf")}));
    EXPECT_FALSE(model().marks().contains(inputs.at(1).id));
    EXPECT_FALSE(model().searchTerms().contains(inputs.at(1).id));
    EXPECT_EQ(model().selection(), inputs.at(0).id);
    EXPECT_EQ(model().currentPage(), 0);
    EXPECT_FALSE(model().previewImage().isNull());

    model().removeSelected();
    model().removeSelected();
    EXPECT_TRUE(model().inputs().isEmpty());
    EXPECT_FALSE(model().selection());
    EXPECT_TRUE(model().previewImage().isNull());

    Emissions inputsChanged(model(), &AppModel::inputsChanged);
    model().removeSelected();
    EXPECT_EQ(inputsChanged.count(), 0);
}

TEST_F(InputListTest, RemoveAllKeepsMessagesAndOutputSettings)
{
    model().add({pdf(QStringLiteral("a.pdf")), file(QStringLiteral("gone.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.5, 0.5});
    model().setSearchText(QStringLiteral("typed"));
    model().setDpi(300);
    model().setOutputFolder(dir());
    ASSERT_TRUE(model().errorMessage());

    model().removeAll();

    EXPECT_TRUE(model().inputs().isEmpty());
    EXPECT_TRUE(model().marks().isEmpty());
    EXPECT_TRUE(model().searchTerms().isEmpty());
    EXPECT_FALSE(model().selection());
    EXPECT_TRUE(model().previewImage().isNull());
    EXPECT_FALSE(model().resultMessage());
    EXPECT_TRUE(model().errorMessage());
    EXPECT_EQ(model().searchText(), QStringLiteral("typed"));
    EXPECT_EQ(model().dpi(), 300);
    EXPECT_EQ(model().outputFolder(), dir());
}

TEST_F(InputListTest, EachReadOfTheSelectedDocumentOpensItAfresh)
{
    EXPECT_FALSE(model().selectedDocument());
    model().add({pdf(QStringLiteral("a.pdf"), 2)});

    auto first = model().selectedDocument();
    auto second = model().selectedDocument();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->pageCount(), 2);
}

TEST_F(InputListTest, TheOpenDialogAddsWhatWasChosen)
{
    model().chooseInputs();
    ASSERT_EQ(dialogs.inputRequests.size(), 1);
    EXPECT_EQ(dialogs.inputRequests.front().title, QStringLiteral("Choose PDF Documents"));
    EXPECT_EQ(dialogs.inputRequests.front().prompt, QStringLiteral("Add"));
    EXPECT_TRUE(model().inputs().isEmpty());
    EXPECT_FALSE(model().errorMessage()); // cancelling says nothing

    dialogs.inputsAnswer = {pdf(QStringLiteral("b.pdf")), pdf(QStringLiteral("a.pdf"))};
    model().chooseInputs();
    EXPECT_EQ(fileNames(model().inputs()), (QStringList{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}));
}

// ---- Files that change after they were added --------------------------------

TEST_F(InputListTest, AVanishedOrEmptiedFileIsReportedWhenShown)
{
    const QString a = pdf(QStringLiteral("a.pdf"));
    const QString b = pdf(QStringLiteral("b.pdf"));
    model().add({a, b});
    const QList<RedactInput> inputs = model().inputs();

    QFile::remove(b);
    model().setSelection(inputs.at(1).id);
    EXPECT_EQ(model().errorMessage(), QStringLiteral("Could not read b.pdf."));
    EXPECT_TRUE(model().previewImage().isNull());

    zeroPagePdf(QStringLiteral("a.pdf"));
    model().setSelection(inputs.at(0).id);
    EXPECT_EQ(model().errorMessage(), QStringLiteral("a.pdf contains no pages."));
    EXPECT_TRUE(model().previewImage().isNull());

    // The list itself is untouched and the file can come back.
    pdf(QStringLiteral("a.pdf"));
    model().setErrorMessage(std::nullopt);
    model().refreshPreview();
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().previewImage().isNull());
    EXPECT_EQ(model().inputs(), inputs);
}
