#include "tests/app/model_fixture.h"

#include <algorithm>

namespace inkveil::test {
namespace {

class PatternMarksTest : public ModelTest {
protected:
    QList<RedactionRegion> marks() { return model().selectedMarks(); }
};

TEST_F(PatternMarksTest, WholePagesAndARepeatedBoxLandOncePerPage)
{
    model().add({pdf(QStringLiteral("doc.pdf"), 4)});
    model().setCurrentPage(1);
    model().redactWholePage();
    model().redactWholePage();
    EXPECT_EQ(marks(), (QList<RedactionRegion>{RedactionRegion(1, Rect{0, 0, 1, 1})}));

    const Rect box{0.1, 0.8, 0.3, 0.1};
    model().setCurrentPage(0);
    model().addMark(box);
    // Pages beyond the document are left out, and page 1 keeps its whole-page mark beside the box.
    model().repeatMark(RedactionRegion(0, box), 0, 9);
    QList<RedactionRegion> expected{RedactionRegion(1, Rect{0, 0, 1, 1}), RedactionRegion(0, box)};
    for (int page = 1; page < 4; ++page)
        expected.append(RedactionRegion(page, box));
    EXPECT_EQ(marks(), expected);
}

TEST_F(PatternMarksTest, PatternsMarkTheirMatchesAndGoIntoTheRun)
{
    const QString file = PdfBuilder().textPage("Card 4111 1111 1111 1111 ref INV-123456").write(path(QStringLiteral("c.pdf")));
    model().add({file});
    model().addPatternMatches({QStringLiteral("card")}, QStringLiteral("INV-[0-9]{6}"));
    ASSERT_TRUE(waitForSearch());
    EXPECT_EQ(marks().size(), 2);
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 2 matches of card, INV-[0-9]{6}."));
    const QUuid id = *model().selection();
    EXPECT_EQ(model().patternNames().value(id), QStringList{QStringLiteral("card")});
    EXPECT_EQ(model().expressions().value(id), QStringList{QStringLiteral("INV-[0-9]{6}")});

    // A bad expression changes nothing and says where it is wrong.
    model().addPatternMatches({}, QStringLiteral("INV-("));
    EXPECT_TRUE(model().errorMessage() && model().errorMessage()->contains(QStringLiteral("position 6")));
    EXPECT_EQ(marks().size(), 2);

    // Listed with their counts and what each mark covers; a removed match is
    // excluded from the run, and removing a pattern takes its marks along.
    EXPECT_EQ(model().selectedPhrases(), (QList<PhraseMarks>{{QStringLiteral("card"), 1, true},
                                                             {QStringLiteral("INV-[0-9]{6}"), 1, true}}));
    const QList<RedactionRegion> all = marks();
    const auto it = std::find_if(all.begin(), all.end(), [&](const RedactionRegion& mark) {
        return model().markText(mark) == QStringLiteral("4111 1111 1111 1111");
    });
    ASSERT_NE(it, all.end());
    const RedactionRegion card = *it;
    model().removeMark(card);
    EXPECT_EQ(model().exclusions().value(id), QList<RedactionRegion>{card});
    model().removePattern(QStringLiteral("INV-[0-9]{6}"));
    EXPECT_TRUE(marks().isEmpty());
    EXPECT_TRUE(model().expressions().value(id).isEmpty());

    model().clearSelectedMarks();
    EXPECT_TRUE(model().patternNames().value(id).isEmpty());
}

} // namespace
} // namespace inkveil::test
