#include "update/bundle_swap.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The installer under test starts this program again as its swap helper.
    if (const auto swapped = inkveil::BundleSwap::runIfAsked(argc, argv))
        return *swapped;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
