#include "tests/app/model_fixture.h"

#include <QFile>

using namespace inkveil;
using namespace inkveil::test;

namespace {

PageSpec pageWith(std::vector<TextRun> runs)
{
    PageSpec spec;
    spec.texts = std::move(runs);
    return spec;
}

} // namespace

class SearchTest : public ModelTest {
protected:
    // Page 0: "Jane Doe" near the top and near the bottom; page 1: none; page 2: once.
    void addContract()
    {
        const QString file = PdfBuilder()
                                 .page(pageWith({{72, 700, 12, "Signed by Jane Doe"}, {72, 100, 12, "Witness: Jane Doe"}}))
                                 .page(pageWith({{72, 700, 12, "Nothing to see"}}))
                                 .page(pageWith({{72, 400, 12, "jane doe again"}}))
                                 .write(path(QStringLiteral("contract.pdf")));
        model().add({file});
    }
    QList<RedactionRegion> marks() { return model().selectedMarks(); }
};

TEST_F(SearchTest, APhraseBecomesMarksInReadingOrderBottomUp)
{
    addContract();
    model().setSearchText(QStringLiteral("  Jane Doe \n"));

    model().addSearchMatches();

    const QList<RedactionRegion> found = marks();
    ASSERT_EQ(found.size(), 3);
    EXPECT_EQ(found.at(0).pageIndex(), 0);
    EXPECT_EQ(found.at(1).pageIndex(), 0);
    EXPECT_LT(found.at(0).normalizedRect().y, found.at(1).normalizedRect().y); // lower one first
    EXPECT_EQ(found.at(2).pageIndex(), 2);
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 3 occurrences of \u201CJane Doe\u201D."));
    EXPECT_EQ(model().searchTerms().value(model().inputs().front().id), QStringList{QStringLiteral("Jane Doe")});
    EXPECT_TRUE(model().searchText().isEmpty());
    EXPECT_EQ(model().readyInputs().size(), 1);
}

TEST_F(SearchTest, OneOccurrenceIsCountedInTheSingular)
{
    addContract();
    model().setSearchText(QStringLiteral("Witness"));
    model().addSearchMatches();
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 1 occurrence of \u201CWitness\u201D."));
}

TEST_F(SearchTest, AMissingPhraseIsReportedAndChangesNothing)
{
    addContract();
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().setSearchText(QStringLiteral(" John Roe "));
    Emissions marksChanged(model(), &AppModel::marksChanged);
    Emissions termsChanged(model(), &AppModel::searchTermsChanged);

    model().addSearchMatches();

    EXPECT_EQ(model().errorMessage(),
              QStringLiteral("\u201CJohn Roe\u201D was not found as selectable text. Scanned documents may need "
                             "Mervo Lumora first."));
    EXPECT_EQ(model().searchText(), QStringLiteral(" John Roe "));
    EXPECT_EQ(marksChanged.count(), 0);
    EXPECT_EQ(termsChanged.count(), 0);
    EXPECT_EQ(marks().size(), 1);
}

TEST_F(SearchTest, SearchingAgainAddsNoMarkButRemembersThePhraseAgain)
{
    addContract();
    model().setSearchText(QStringLiteral("Jane Doe"));
    model().addSearchMatches();
    const QList<RedactionRegion> first = marks();

    model().setSearchText(QStringLiteral("Jane Doe"));
    model().addSearchMatches();

    EXPECT_EQ(marks(), first);
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 3 occurrences of \u201CJane Doe\u201D."));
    EXPECT_EQ(model().searchTerms().value(model().inputs().front().id),
              (QStringList{QStringLiteral("Jane Doe"), QStringLiteral("Jane Doe")}));
}

TEST_F(SearchTest, HandMarksJoinTheOrderAndDuplicatesMerge)
{
    addContract();
    const Rect top{0.1, 0.9, 0.3, 0.05};
    model().addMark(top);
    model().addMark(top);
    model().setSearchText(QStringLiteral("Witness"));

    model().addSearchMatches();

    const QList<RedactionRegion> sorted = marks();
    ASSERT_EQ(sorted.size(), 2);
    EXPECT_EQ(sorted.at(1), RedactionRegion(0, top)); // above the match, so after it
    EXPECT_LT(sorted.at(0).normalizedRect().y, 0.2);
}

TEST_F(SearchTest, OnOneLineMarksRunLeftToRight)
{
    const QString file = PdfBuilder()
                             .page(pageWith({{300, 500, 12, "Acme"}, {72, 500, 12, "Acme"}}))
                             .write(path(QStringLiteral("line.pdf")));
    model().add({file});
    model().setSearchText(QStringLiteral("acme"));
    model().addSearchMatches();

    const QList<RedactionRegion> found = marks();
    ASSERT_EQ(found.size(), 2);
    EXPECT_LT(found.at(0).normalizedRect().x, found.at(1).normalizedRect().x);
}

TEST_F(SearchTest, APhraseAcrossAPageBreakCountsTwice)
{
    const QString file = PdfBuilder()
                             .page(pageWith({{72, 72, 12, "The tenant is Jane"}}))
                             .page(pageWith({{72, 720, 12, "Doe, of Springfield"}}))
                             .write(path(QStringLiteral("break.pdf")));
    model().add({file});
    model().setSearchText(QStringLiteral("Jane Doe"));
    model().addSearchMatches();
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 2 occurrences of \u201CJane Doe\u201D."));
}

TEST_F(SearchTest, NothingHappensWithoutSelectionOrPhrase)
{
    model().setSearchText(QStringLiteral("Jane"));
    EXPECT_FALSE(model().canMarkAll());
    model().addSearchMatches();
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().resultMessage());

    addContract();
    EXPECT_TRUE(model().canMarkAll());
    model().setSearchText(QStringLiteral(" \t\n "));
    EXPECT_FALSE(model().canMarkAll());
    model().addSearchMatches();
    EXPECT_FALSE(model().errorMessage());
    EXPECT_TRUE(marks().isEmpty());
    EXPECT_TRUE(model().searchTerms().isEmpty());
}

TEST_F(SearchTest, AFileGoneSinceItWasAddedIsReported)
{
    addContract();
    QFile::remove(path(QStringLiteral("contract.pdf")));
    model().setSearchText(QStringLiteral("Jane"));
    model().addSearchMatches();
    EXPECT_EQ(model().errorMessage(), QStringLiteral("Could not read contract.pdf."));
    EXPECT_EQ(model().searchText(), QStringLiteral("Jane"));
}

TEST_F(SearchTest, PhrasesAloneDoNotMakeAnInputReady)
{
    addContract();
    model().setSearchText(QStringLiteral("Witness"));
    model().addSearchMatches();
    ASSERT_EQ(model().readyInputs().size(), 1);

    model().removeMark(marks().front());

    EXPECT_FALSE(model().searchTerms().value(model().inputs().front().id).isEmpty());
    EXPECT_TRUE(model().readyInputs().isEmpty());
}
