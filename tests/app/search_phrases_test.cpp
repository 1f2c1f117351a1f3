#include "tests/app/model_fixture.h"
#include "tests/support/scan_builder.h"

#include <QFile>
#include <QTest>

using namespace inkveil;
using namespace inkveil::test;

class SearchTest : public ModelTest {
protected:
    // Page 0: "Jane Doe" near the top and the bottom, "Acme" twice on one line;
    // page 1: nothing; page 2: once, in lower case.
    void SetUp() override
    {
        ModelTest::SetUp();
        PageSpec first;
        first.texts = {{72, 700, 12, "Signed by Jane Doe"}, {72, 100, 12, "Witness: Jane Doe"},
                       {300, 400, 12, "Acme"}, {72, 400, 12, "Acme"}};
        PageSpec third;
        third.texts = {{72, 400, 12, "jane doe again"}};
        model().add({PdfBuilder().page(first).textPage("Nothing here").page(third).write(path(QStringLiteral("c.pdf")))});
    }
    void search(const QString& text, bool wait = true)
    {
        model().setSearchText(text);
        model().addSearchMatches();
        if (wait) {
            ASSERT_TRUE(waitForSearch());
        }
    }
    QList<RedactionRegion> marks() { return model().selectedMarks(); }
    QStringList terms() { return model().searchTerms().value(model().inputs().front().id); }
};

TEST_F(SearchTest, FoundPlacesBecomeMarksPageByPageBottomUpLeftToRight)
{
    const Rect top{0.1, 0.95, 0.3, 0.02};
    model().addMark(top);
    model().addMark(top);

    search(QStringLiteral("  Jane Doe \n"));
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 3 occurrences of \u201CJane Doe\u201D."));
    EXPECT_EQ(terms(), QStringList{QStringLiteral("Jane Doe")});
    EXPECT_TRUE(model().searchText().isEmpty());
    search(QStringLiteral("acme"));

    const QList<RedactionRegion> m = marks();
    ASSERT_EQ(m.size(), 6); // the two equal hand marks merged
    const auto y = [&](int i) { return m.at(i).normalizedRect().y; };
    EXPECT_TRUE(m.at(0).pageIndex() == 0 && y(0) < y(1)); // Witness line, lowest
    EXPECT_EQ(y(1), y(2));                                 // the two Acme, left first
    EXPECT_LT(m.at(1).normalizedRect().x, m.at(2).normalizedRect().x);
    EXPECT_LT(y(2), y(3));                                 // Signed line
    EXPECT_EQ(m.at(4), RedactionRegion(0, top));           // the hand mark, top of the page
    EXPECT_EQ(m.at(5).pageIndex(), 2);

    // Searching again adds no mark; phrases count only through their marks.
    search(QStringLiteral("acme"));
    EXPECT_EQ(marks(), m);
    model().clearSelectedMarks();
    EXPECT_TRUE(model().readyInputs().isEmpty());
}

TEST_F(SearchTest, AMissingPhraseOrAVanishedFileIsReportedAndChangesNothing)
{
    QSignalSpy marksChanged(&model(), &AppModel::marksChanged);
    search(QStringLiteral(" John Roe "));
    EXPECT_EQ(model().errorMessage(), QStringLiteral("\u201CJohn Roe\u201D was not found as selectable text. Scanned "
                                                     "documents may need Mervo Lumora first."));
    EXPECT_EQ(model().searchText(), QStringLiteral(" John Roe "));

    QFile::remove(file(QStringLiteral("c.pdf")));
    search(QStringLiteral("Jane"));
    EXPECT_EQ(model().errorMessage(), QStringLiteral("Could not read c.pdf."));
    EXPECT_EQ(marksChanged.count(), 0);
    EXPECT_TRUE(terms().isEmpty());
}

// A scan has no text to search: its page is read in the background, with
// progress, and can be stopped.
TEST_F(SearchTest, ScansAreReadInTheBackgroundAndCanBeStopped)
{
    PageSpec line;
    line.box[2] = 300;
    line.box[3] = 80;
    line.texts = {{20, 40, 12, "Signed by Margaret Okonkwo"}};
    const QString source = PdfBuilder().page(line).write(path(QStringLiteral("source.pdf")));
    model().removeAll();
    model().add({writeFile(path(QStringLiteral("scan.pdf")), scanOf(source, ScanStyle{}))});

    QSignalSpy reading(&model(), &AppModel::isReadingChanged);
    search(QStringLiteral("Margaret Okonkwo"), false);
    EXPECT_TRUE(model().isReading());
    EXPECT_TRUE(QTest::qWaitFor([&] { return model().readingText() == QStringLiteral("Reading page 1 of 1\u2026"); }));
    EXPECT_FALSE(model().canMarkAll());
    // Stopped: nothing is marked, the phrase stays in the field.
    model().cancelReading();
    ASSERT_TRUE(reading.wait(30000) || !model().isReading());
    EXPECT_TRUE(marks().isEmpty());
    EXPECT_EQ(model().searchText(), QStringLiteral("Margaret Okonkwo"));

    model().addSearchMatches();
    ASSERT_TRUE(model().isReading());
    while (model().isReading())
        ASSERT_TRUE(reading.wait(30000));
    EXPECT_TRUE(model().readingText().isEmpty());
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Marked 1 occurrence of \u201CMargaret Okonkwo\u201D."));
    EXPECT_EQ(marks().size(), 1);
    EXPECT_EQ(terms(), QStringList{QStringLiteral("Margaret Okonkwo")});

    // With reading off, a scan holds nothing to find.
    model().setOcr({OcrMode::off, QStringLiteral("eng")});
    search(QStringLiteral("Okonkwo"));
    EXPECT_FALSE(model().isReading());
    EXPECT_TRUE(model().errorMessage()->startsWith(QStringLiteral("\u201COkonkwo\u201D was not found as selectable text.")));
}
