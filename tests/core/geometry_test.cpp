#include "core/engine.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

using namespace inkveil;
using InkveilEngine::denormalize;
using InkveilEngine::normalize;

namespace {

void expectNear(const Rect& got, const Rect& want)
{
    EXPECT_NEAR(got.x, want.x, 1e-9);
    EXPECT_NEAR(got.y, want.y, 1e-9);
    EXPECT_NEAR(got.width, want.width, 1e-9);
    EXPECT_NEAR(got.height, want.height, 1e-9);
}

} // namespace

TEST(Normalize, GivesFractionsOfTheBoxOrNothing)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const Rect letter{0, 0, 612, 792};
    const struct {
        Rect rect;
        Rect box;
        std::optional<Rect> want;
    } cases[] = {
        {{61.2, 79.2, 122.4, 158.4}, letter, Rect{0.1, 0.1, 0.2, 0.2}},
        {{10, 20, 50, 100}, {10, 20, 100, 200}, Rect{0, 0, 0.5, 0.5}},
        {{600, 780, 40, 40}, letter, Rect{600.0 / 612, 780.0 / 792, 12.0 / 612, 12.0 / 792}},
        {{100, 100, -50, -50}, {0, 0, 200, 200}, Rect{0.25, 0.25, 0.25, 0.25}},
        {{10, 20, 50, 100}, {110, 220, -100, -200}, Rect{0, 0, 0.5, 0.5}},
        {{612, 0, 10, 10}, letter, std::nullopt},
        {{100, 100, 0, 10}, letter, std::nullopt},
        {{0, 0, 10, 10}, {0, 0, 0, 792}, std::nullopt},
        {{0, 0, 10, 10}, {0, 0, kNaN, 792}, std::nullopt},
        {{kNaN, 0, 10, 10}, letter, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.x << ',' << c.rect.y << " in " << c.box.width << 'x' << c.box.height);
        const std::optional<Rect> got = normalize(c.rect, c.box);
        ASSERT_EQ(got.has_value(), c.want.has_value());
        if (got)
            expectNear(*got, *c.want);
    }
}

TEST(Denormalize, UndoesNormalizeForThePartInsideTheBoxAndNeverClips)
{
    const Rect boxes[] = {{0, 0, 612, 792}, {36, -18, 595.3, 841.9}, {-300, -400, 600, 800}};
    const Rect rects[] = {{72, 72, 144, 20}, {500, 700, 300, 300}, {-50, -50, 100, 100}, {300, 10, -120, 40}};
    for (const Rect& box : boxes) {
        for (const Rect& rect : rects) {
            const auto n = normalize(rect, box);
            if (n)
                expectNear(denormalize(*n, box), *rect.intersected(box));
        }
    }
    expectNear(denormalize({1.2, 0, 0.5, 0.5}, {0, 0, 100, 100}), {120, 0, 50, 50});
    expectNear(denormalize({0.75, 0.75, -0.5, -0.5}, {0, 0, 100, 100}), {25, 25, 50, 50});
}

TEST(RectHelpers, InsetIntersectionAndUnion)
{
    // Search hits are widened with a negative inset; a sign slip would shrink
    // marks below the text they must cover.
    EXPECT_EQ((Rect{10, 20, 30, 40}.insetBy(-2, -1)), (Rect{8, 19, 34, 42}));
    EXPECT_EQ((Rect{40, 60, -30, -40}.insetBy(-2, -1)), (Rect{8, 19, 34, 42}));

    EXPECT_EQ((Rect{10, 10, -10, -10}.intersected({5, 5, 10, 10})), (Rect{5, 5, 5, 5}));
    EXPECT_EQ((Rect{0, 0, 10, 10}.intersected({10, 0, 5, 5})), (Rect{10, 0, 0, 5}));
    EXPECT_FALSE((Rect{0, 0, 10, 10}.intersected({11, 0, 5, 5})));
    EXPECT_EQ((Rect{1, 1, -1, -1}.united({2, 3, -1, -1})), (Rect{0, 0, 2, 3}));
}
