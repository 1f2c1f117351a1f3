#include "core/updater.h"

#include <gtest/gtest.h>

using inkveil::Updater::isNewer;

namespace {

struct Order {
    const char* candidate;
    const char* current;
    bool newer;
};

void PrintTo(const Order& c, std::ostream* out)
{
    *out << c.candidate << " vs " << c.current;
}

class VersionOrder : public ::testing::TestWithParam<Order> {};

TEST_P(VersionOrder, ComparesNumericComponents)
{
    const Order& order = GetParam();
    EXPECT_EQ(isNewer(QString::fromUtf8(order.candidate), QString::fromUtf8(order.current)), order.newer);
}

INSTANTIATE_TEST_SUITE_P(Examples, VersionOrder, ::testing::Values(
    Order{"1.10", "1.9", true},
    Order{"2", "1.9.9", true},
    Order{"1.2.0", "1.2", false},
    Order{"1.02", "1.2", false},
    Order{"1.1", "1.2", false},
    Order{"1.2.3.0.1", "1.2.3", true},
    Order{"1.2.0-beta", "1.1", false},
    Order{"1.3", "Development", false},
    Order{"", "1", false},
    Order{"1..2", "1", false},
    Order{"1.2.", "1.1", false},
    Order{" 2", "1", false},
    Order{"+2", "1", false}));

// Numeric characters beyond ASCII pass the character check but do not convert,
// so their piece is dropped and the pieces after it move up; so does a piece
// too large for 64 bits.
INSTANTIATE_TEST_SUITE_P(Unconvertible, VersionOrder, ::testing::Values(
    Order{"1.\u0663.5", "1.4", true},
    Order{"1.\u00bd.5", "1.4", true},
    Order{"1.x.5", "1.4", false},
    Order{"1.99999999999999999999.5", "1.4", true},
    Order{"1.9223372036854775807", "1.9223372036854775806", true}));

} // namespace
