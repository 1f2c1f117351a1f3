#include "core/engine.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>

using namespace inkveil;
using InkveilEngine::denormalize;
using InkveilEngine::normalize;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const Rect letter{0, 0, 612, 792};

void expectNear(const Rect& got, const Rect& want)
{
    constexpr double eps = 1e-12;
    EXPECT_NEAR(got.x, want.x, eps);
    EXPECT_NEAR(got.y, want.y, eps);
    EXPECT_NEAR(got.width, want.width, eps);
    EXPECT_NEAR(got.height, want.height, eps);
}

struct NormalizeCase {
    const char* name;
    Rect rect;
    Rect box;
    std::optional<Rect> want;
};

void PrintTo(const NormalizeCase& c, std::ostream* os) { *os << c.name; }

class Normalize : public ::testing::TestWithParam<NormalizeCase> {};

} // namespace

TEST_P(Normalize, GivesFractionsOfTheBoxOrNothing)
{
    const NormalizeCase& c = GetParam();
    const std::optional<Rect> got = normalize(c.rect, c.box);
    ASSERT_EQ(got.has_value(), c.want.has_value());
    if (got)
        expectNear(*got, *c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, Normalize,
    ::testing::Values(
        NormalizeCase{"letterTenth", {61.2, 79.2, 122.4, 158.4}, letter, Rect{0.1, 0.1, 0.2, 0.2}},
        NormalizeCase{"offsetBox", {10, 20, 50, 100}, {10, 20, 100, 200}, Rect{0, 0, 0.5, 0.5}},
        NormalizeCase{"topOfPageIsNearOne", {0, 742, 612, 50}, letter, Rect{0, 742.0 / 792, 1, 50.0 / 792}},
        NormalizeCase{"clippedAtCorner", {600, 780, 40, 40}, letter, Rect{600.0 / 612, 780.0 / 792, 12.0 / 612, 12.0 / 792}},
        NormalizeCase{"negativeSize", {100, 100, -50, -50}, {0, 0, 200, 200}, Rect{0.25, 0.25, 0.25, 0.25}},
        NormalizeCase{"negativeBox", {10, 20, 50, 100}, {110, 220, -100, -200}, Rect{0, 0, 0.5, 0.5}},
        NormalizeCase{"negativeOrigin", {-50, -100, 100, 200}, {-100, -200, 200, 400}, Rect{0.25, 0.25, 0.5, 0.5}},
        NormalizeCase{"coversBox", {-10, -10, 1000, 1000}, letter, Rect{0, 0, 1, 1}},
        NormalizeCase{"touchesRightEdge", {612, 0, 10, 10}, letter, std::nullopt},
        NormalizeCase{"touchesTopEdge", {0, 792, 10, 10}, letter, std::nullopt},
        NormalizeCase{"outside", {700, 800, 10, 10}, letter, std::nullopt},
        NormalizeCase{"zeroWidth", {100, 100, 0, 10}, letter, std::nullopt},
        NormalizeCase{"zeroHeight", {100, 100, 10, 0}, letter, std::nullopt},
        NormalizeCase{"boxZeroWidth", {0, 0, 10, 10}, {0, 0, 0, 792}, std::nullopt},
        NormalizeCase{"boxZeroHeight", {0, 0, 10, 10}, {0, 0, 612, 0}, std::nullopt},
        NormalizeCase{"boxNotANumber", {0, 0, 10, 10}, {0, 0, kNaN, 792}, std::nullopt},
        NormalizeCase{"rectNotANumber", {kNaN, 0, 10, 10}, letter, std::nullopt},
        NormalizeCase{"tinyButPositive", {306, 396, 1e-9, 1e-9}, letter, Rect{0.5, 0.5, 1e-9 / 612, 1e-9 / 792}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Denormalize, MapsFractionsIntoPageSpaceWithoutClipping)
{
    struct Case {
        Rect normalized;
        Rect box;
        Rect want;
    };
    const Case cases[] = {
        {{0.5, 0.5, 0.5, 0.5}, {10, 20, 100, 200}, {60, 120, 50, 100}},
        {{1.2, 0, 0.5, 0.5}, {0, 0, 100, 100}, {120, 0, 50, 50}},
        {{0.75, 0.75, -0.5, -0.5}, {0, 0, 100, 100}, {25, 25, 50, 50}},
        {{0.3, 0.6, 0.2, 0.1}, {5, 7, 0, 0}, {5, 7, 0, 0}},
        {{-0.5, 0, 0.25, 1}, {100, 0, 200, 10}, {0, 0, 50, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.normalized.x << ',' << c.normalized.y << " in " << c.box.x << ','
                                        << c.box.y << ',' << c.box.width << ',' << c.box.height);
        expectNear(denormalize(c.normalized, c.box), c.want);
    }
}

TEST(Denormalize, UndoesNormalizeForThePartInsideTheBox)
{
    const Rect boxes[] = {letter, {36, -18, 595.3, 841.9}, {-300, -400, 600, 800}};
    const Rect rects[] = {{72, 72, 144, 20}, {500, 700, 300, 300}, {-50, -50, 100, 100}, {300, 10, -120, 40}};
    for (const Rect& box : boxes) {
        for (const Rect& rect : rects) {
            const auto n = normalize(rect, box);
            if (!n)
                continue;
            const auto inside = rect.intersected(box);
            ASSERT_TRUE(inside);
            const Rect back = denormalize(*n, box);
            EXPECT_NEAR(back.x, inside->x, 1e-9);
            EXPECT_NEAR(back.y, inside->y, 1e-9);
            EXPECT_NEAR(back.width, inside->width, 1e-9);
            EXPECT_NEAR(back.height, inside->height, 1e-9);
        }
    }
}

TEST(RectHelpers, InsetShrinksAndNegativeInsetEnlarges)
{
    // Search hits are widened with a negative inset; a sign slip would shrink
    // marks below the text they must cover.
    EXPECT_EQ((Rect{10, 20, 30, 40}.insetBy(-2, -1)), (Rect{8, 19, 34, 42}));
    EXPECT_EQ((Rect{10, 20, 30, 40}.insetBy(2, 1)), (Rect{12, 21, 26, 38}));
    EXPECT_EQ((Rect{40, 60, -30, -40}.insetBy(-2, -1)), (Rect{8, 19, 34, 42}));
}

TEST(RectHelpers, IntersectionAndUnion)
{
    EXPECT_EQ((Rect{0, 0, 10, 10}.intersected({5, 5, 10, 10})), (Rect{5, 5, 5, 5}));
    EXPECT_EQ((Rect{0, 0, 10, 10}.intersected({10, 0, 5, 5})), (Rect{10, 0, 0, 5}));
    EXPECT_FALSE((Rect{0, 0, 10, 10}.intersected({11, 0, 5, 5})));
    EXPECT_EQ((Rect{10, 10, -10, -10}.intersected({5, 5, 10, 10})), (Rect{5, 5, 5, 5}));

    EXPECT_EQ((Rect{0, 0, 1, 1}.united({2, 3, 1, 1})), (Rect{0, 0, 3, 4}));
    EXPECT_EQ((Rect{1, 1, -1, -1}.united({2, 3, -1, -1})), (Rect{0, 0, 2, 3}));
    EXPECT_EQ((Rect{5, 6, -2, -3}.maxY()), 6);
}
