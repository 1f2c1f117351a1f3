#include "app/bundle_signature.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QDir>

#include <gtest/gtest.h>

#include <functional>

using namespace inkveil;
using namespace inkveil::test;

namespace {

struct Change {
    const char* name;
    std::function<void(const QString& bundle)> apply;
};

void PrintTo(const Change& c, std::ostream* out)
{
    *out << c.name;
}

class BundleSignatureTest : public TempDirTest, public ::testing::WithParamInterface<Change> {};

TEST_P(BundleSignatureTest, CoversEveryFileOfTheBundle)
{
    const auto key = BundleSignature::generateKeyPair();
    const QString bundle = makeBundle(dir(), QStringLiteral("Inkveil.app"), QStringLiteral("1.1"));
    BundleSignature::sign(bundle, key.secretKey);
    ASSERT_TRUE(BundleSignature::isValid(bundle, key.publicKey));
    GetParam().apply(bundle);
    EXPECT_FALSE(BundleSignature::isValid(bundle, key.publicKey));
}

const auto kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

INSTANTIATE_TEST_SUITE_P(Changes, BundleSignatureTest, ::testing::Values(
    Change{"altered_file", [](const QString& b) { writeFile(b + QStringLiteral("/usr/bin/inkveil"), "evil", kExecutable); }},
    Change{"added_file", [](const QString& b) { writeFile(b + QStringLiteral("/usr/bin/helper"), "evil"); }},
    Change{"added_folder", [](const QString& b) { QDir(b).mkdir(QStringLiteral("plugins")); }},
    Change{"removed_file", [](const QString& b) { QFile::remove(b + QStringLiteral("/usr/lib/libnotes.so.1")); }},
    Change{"lost_executable_bit",
           [](const QString& b) { QFile::setPermissions(b + QStringLiteral("/AppRun"), QFile::ReadOwner | QFile::WriteOwner); }},
    Change{"link_retargeted",
           [](const QString& b) {
               QFile::remove(b + QStringLiteral("/usr/lib/libnotes.so"));
               QFile::link(QStringLiteral("../bin/inkveil"), b + QStringLiteral("/usr/lib/libnotes.so"));
           }},
    Change{"garbled_signature", [](const QString& b) { writeFile(b + QStringLiteral("/_CodeSignature/signature"), "00ff"); }},
    Change{"extra_file_beside_signature", [](const QString& b) { writeFile(b + QStringLiteral("/_CodeSignature/notes"), "x"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BundleSignatureKeys, OnlyTheSigningKeyVerifies)
{
    QTemporaryDir dir;
    const auto key = BundleSignature::generateKeyPair();
    const auto foreign = BundleSignature::generateKeyPair();
    const QString bundle = makeBundle(dir.path(), QStringLiteral("Inkveil.app"), QStringLiteral("1.1"));
    BundleSignature::sign(bundle, foreign.secretKey);
    EXPECT_FALSE(BundleSignature::isValid(bundle, key.publicKey));
    EXPECT_FALSE(BundleSignature::isValid(bundle, QByteArray())); // a build without a release key
    EXPECT_TRUE(BundleSignature::isValid(bundle, foreign.publicKey));
}

} // namespace
