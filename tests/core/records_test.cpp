#include "core/engine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <stdexcept>
#include <unordered_set>

using namespace inkveil;

TEST(RegionConstructor, StandardizesThenClipsToTheUnitSquare)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const Rect cases[][2] = {
        {{0.5, 0.5, -0.2, -0.1}, {0.3, 0.4, 0.2, 0.1}},
        {{-0.5, -0.5, 1.0, 0.75}, {0, 0, 0.5, 0.25}},
        {{0.2, 0.2, -0.5, -0.5}, {0, 0, 0.2, 0.2}},
        {{1.5, 1.5, 0.2, 0.2}, {0, 0, 0, 0}},
        // Touching the square is an overlap of zero size, not a miss.
        {{1.0, 0.5, 0.3, 0.2}, {1.0, 0.5, 0, 0.2}},
        {{kNaN, 0.1, 0.2, 0.2}, {0, 0, 0, 0}},
        {{0.5, 0.5, kInf, 0.25}, {0.5, 0.5, 0.5, 0.25}},
    };
    for (const auto& [given, want] : cases) {
        const Rect r = RedactionRegion(3, given).normalizedRect();
        EXPECT_DOUBLE_EQ(r.x, want.x) << given.x << ',' << given.width;
        EXPECT_DOUBLE_EQ(r.y, want.y) << given.y << ',' << given.height;
        EXPECT_DOUBLE_EQ(r.width, want.width) << given.x << ',' << given.width;
        EXPECT_DOUBLE_EQ(r.height, want.height) << given.y << ',' << given.height;
    }
}

TEST(RegionIdentity, EqualAcrossSignConventionsAndHashAlike)
{
    // Dyadic values: the sum of origin and negative size is exact, so both
    // spellings name the very same rectangle.
    const RedactionRegion plain(2, {0.25, 0.125, 0.5, 0.25});
    const RedactionRegion flipped(2, {0.75, 0.375, -0.5, -0.25});
    EXPECT_EQ(plain, flipped);
    EXPECT_EQ(std::hash<RedactionRegion>{}(plain), std::hash<RedactionRegion>{}(flipped));
    EXPECT_NE(plain, RedactionRegion(1, {0.25, 0.125, 0.5, 0.25}));

    // Decoding keeps the sign convention; equality and hash still see through it.
    QJsonObject raw{{QStringLiteral("pageIndex"), 2},
                    {QStringLiteral("normalizedRect"), QJsonArray{QJsonArray{0.75, 0.375}, QJsonArray{-0.5, -0.25}}}};
    const RedactionRegion decoded = RedactionRegion::fromJson(raw);
    EXPECT_EQ(decoded.normalizedRect().width, -0.5);
    QSet<RedactionRegion> set{plain, flipped, decoded};
    EXPECT_EQ(set.size(), 1);

    const RedactionRegion negativeZero(0, {-0.0, -0.0, 0.5, 0.5});
    const RedactionRegion zero(0, {0, 0, 0.5, 0.5});
    EXPECT_EQ(qHash(negativeZero), qHash(zero));
    EXPECT_EQ((std::unordered_set<RedactionRegion>{negativeZero, zero}.size()), 1u);
}

TEST(RegionJson, RoundTripsExactlyThroughText)
{
    const RedactionRegion region(12, {0.1, 1.0 / 3.0, 0.2, 2.0 / 7.0});
    const QByteArray text = QJsonDocument(region.toJson()).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(text.contains("\"normalizedRect\":[[0.1,")) << text.constData();
    const RedactionRegion back = RedactionRegion::fromJson(QJsonDocument::fromJson(text).object());
    EXPECT_EQ(back.pageIndex(), 12);
    EXPECT_EQ(back.normalizedRect(), region.normalizedRect());

    // Large pages and unclipped rectangles read as written; other keys are ignored.
    const QByteArray large = R"({"pageIndex": 9007199254740993, "comment": "x",
                                 "normalizedRect": [[1.5, -0.25], [2, 0.5]]})";
    const RedactionRegion read = RedactionRegion::fromJson(QJsonDocument::fromJson(large).object());
    EXPECT_EQ(read.pageIndex(), 9007199254740993LL);
    EXPECT_EQ(read.normalizedRect(), (Rect{1.5, -0.25, 2, 0.5}));
}

TEST(RegionJson, RejectsMissingOrMistypedKeys)
{
    const char* bad[] = {
        R"({"normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 0})",
        R"({"pageIndex": "0", "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 1.5, "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 1e30, "normalizedRect": [[0, 0], [1, 1]]})",
        R"({"pageIndex": 0, "normalizedRect": [0, 0, 1, 1]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0], [1]]})",
        R"({"pageIndex": 0, "normalizedRect": [[0, 0], [1, null]]})",
    };
    for (const char* text : bad)
        EXPECT_THROW(RedactionRegion::fromJson(QJsonDocument::fromJson(text).object()), std::invalid_argument) << text;
}

TEST(ErrorTexts, NameTheFileVerbatim)
{
    EXPECT_STREQ(InkveilError::empty(QStringLiteral("/tmp/Contract.pdf")).what(), "Contract.pdf contains no pages.");
    // Placeholders inside a file name must not be expanded a second time.
    EXPECT_EQ(InkveilError::unreadable(QStringLiteral("/x/Budget %1 at 50%2.pdf")).description(),
              QStringLiteral("Could not read Budget %1 at 50%2.pdf."));

    const FileError error = FileError::fromErrno(QStringLiteral("/out/a.pdf"), ENOENT);
    EXPECT_EQ(error.errorNumber(), ENOENT);
    EXPECT_TRUE(error.description().endsWith(QStringLiteral(": /out/a.pdf"))) << error.what();
    EXPECT_GT(error.description().size(), QStringLiteral(": /out/a.pdf").size());
}
