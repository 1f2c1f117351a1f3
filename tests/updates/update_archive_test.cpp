#include "app/bundle_signature.h"
#include "app/update_archive.h"
#include "app/update_error.h"
#include "app/zip_writer.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

using namespace inkveil;
using namespace inkveil::test;
using SelfUpdater::UpdateError;
using SelfUpdater::UpdateFailure;

namespace {

class UpdateArchiveTest : public TempDirTest {
protected:
    // Unpacks into "out"; the error, if refused.
    std::optional<UpdateError> unpack(const std::function<void(ZipWriter&)>& fill,
                                      const UpdateArchive::Limits& limits = {})
    {
        {
            ZipWriter zip(path(QStringLiteral("update.zip")));
            fill(zip);
            zip.close();
        }
        try {
            UpdateArchive::unpack(path(QStringLiteral("update.zip")), path(QStringLiteral("out")), limits);
            return std::nullopt;
        } catch (const UpdateFailure& failure) {
            return failure.error();
        }
    }
};

TEST_F(UpdateArchiveTest, KeepsABundleExactlyAsSigned)
{
    const BundleSignature::KeyPair key = BundleSignature::generateKeyPair();
    const QString bundle = makeBundle(path(QStringLiteral("src")), QStringLiteral("Inkveil.app"), QStringLiteral("1.1"));
    BundleSignature::sign(bundle, key.secretKey);

    EXPECT_EQ(unpack([&](ZipWriter& zip) { zip.addTree(bundle, "Inkveil.app"); }), std::nullopt);
    const QString unpacked = path(QStringLiteral("out/Inkveil.app"));
    EXPECT_TRUE(BundleSignature::isValid(unpacked, key.publicKey));
    EXPECT_EQ(BundleSignature::canonicalList(unpacked), BundleSignature::canonicalList(bundle));
    EXPECT_TRUE(QFileInfo(unpacked + QStringLiteral("/AppRun")).isExecutable());
    EXPECT_EQ(QFileInfo(unpacked + QStringLiteral("/usr/lib/libnotes.so")).symLinkTarget(),
              unpacked + QStringLiteral("/usr/lib/libnotes.so.1"));
}

struct Hostile {
    const char* name;
    std::function<void(ZipWriter&)> fill;
    const char* escapee; // relative to the test folder; must not appear
};

void PrintTo(const Hostile& c, std::ostream* out)
{
    *out << c.name;
}

class HostileArchives : public UpdateArchiveTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileArchives, AreRefusedWithoutWritingOutside)
{
    const Hostile& hostile = GetParam();
    EXPECT_EQ(unpack(hostile.fill), UpdateError::unpack);
    EXPECT_FALSE(QFileInfo::exists(path(QString::fromUtf8(hostile.escapee))));
    EXPECT_FALSE(QFileInfo(path(QString::fromUtf8(hostile.escapee))).isSymLink());
}

INSTANTIATE_TEST_SUITE_P(Entries, HostileArchives, ::testing::Values(
    Hostile{"dot_dot_inside", [](ZipWriter& z) { z.addFile("A.app/../../evil", "x"); }, "evil"},
    Hostile{"absolute", [](ZipWriter& z) { z.addFile("/tmp/inkveil-absolute-entry", "x"); }, "out/tmp"},
    Hostile{"absolute_link", [](ZipWriter& z) { z.addSymlink("A.app/etc", "/etc"); }, "out/A.app/etc"},
    Hostile{"link_out", [](ZipWriter& z) { z.addSymlink("A.app/up", "../../.."); }, "out/A.app/up"},
    Hostile{"write_through_link",
            [](ZipWriter& z) {
                z.addSymlink("A.app/lib", "sub");
                z.addFile("A.app/lib/x", "x");
            },
            "out/A.app/sub/x"},
    Hostile{"links_composed_out",
            [](ZipWriter& z) {
                z.addSymlink("here", ".");
                z.addSymlink("parent", "here/..");
            },
            "never"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateArchiveTest, RefusesWhatIsNotAZipOrTooLarge)
{
    writeFile(path(QStringLiteral("update.zip")), "PK\x03\x04 but not really a zip");
    EXPECT_THROW(UpdateArchive::unpack(path(QStringLiteral("update.zip")), path(QStringLiteral("a"))), UpdateFailure);

    const QByteArray big(4096, 'z');
    EXPECT_EQ(unpack([&](ZipWriter& z) { z.addFile("A.app/big", big); }, {.maxUnpackedBytes = 4000}),
              UpdateError::unpack);
}

} // namespace
