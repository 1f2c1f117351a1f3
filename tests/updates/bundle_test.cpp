#include "app/app_bundle.h"
#include "app/bundle_signature.h"
#include "app/desktop_entry.h"
#include "app/update_archive.h"
#include "app/update_error.h"
#include "app/zip_writer.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

using namespace inkveil;
using namespace inkveil::test;
using SelfUpdater::UpdateError;
using SelfUpdater::UpdateFailure;

namespace {

class BundleTest : public TempDirTest {
protected:
    // Unpacks into "out"; the error, if refused.
    std::optional<UpdateError> unpack(const std::function<void(ZipWriter&)>& fill,
                                      const UpdateArchive::Limits& limits = {})
    {
        QDir(path(QStringLiteral("out"))).removeRecursively();
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

TEST(DesktopEntry, ReadsOnlyTheDesktopEntryGroup)
{
    const QByteArray text = "# X-AppImage-Version=9\n"
                            "[Desktop Action New]\nX-AppImage-Version=8\n"
                            "[Desktop Entry]\r\nName=Ink\\sveil\\n\nX-AppImage-Version = 1.4.2\n"
                            "X-AppImage-Version[de]=7\n";
    EXPECT_EQ(DesktopEntry::value(text, QStringLiteral("X-AppImage-Version")), QStringLiteral("1.4.2"));
    EXPECT_EQ(DesktopEntry::value(text, QStringLiteral("Name")), QStringLiteral("Ink veil\n"));
    EXPECT_EQ(DesktopEntry::value(text + "X-AppImage-Version=2\n", QStringLiteral("X-AppImage-Version")), std::nullopt);
}

TEST_F(BundleTest, FindsTheInnermostLaunchableBundleAroundTheProgram)
{
    const QString outer = makeBundle(dir(), QStringLiteral("Inkveil.app"), QStringLiteral("1.4"));
    const auto found = bundleContaining(outer + QStringLiteral("/usr/bin/inkveil"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, QFileInfo(outer).canonicalFilePath());
    EXPECT_EQ(found->version, QStringLiteral("1.4"));

    const QString inner = makeBundle(outer + QStringLiteral("/usr/share"), QStringLiteral("Helper.app"),
                                     QStringLiteral("2.0"), QStringLiteral("com.mervo.Helper"));
    EXPECT_EQ(bundleContaining(inner + QStringLiteral("/usr/bin/inkveil"))->identifier, QStringLiteral("com.mervo.Helper"));

    // Not a bundle, so never to be replaced: no AppRun, a name without ".app", two desktop entries.
    QFile::remove(inner + QStringLiteral("/AppRun"));
    EXPECT_EQ(bundleContaining(inner + QStringLiteral("/usr/bin/inkveil"))->identifier, kBundleIdentifier);
    const QString plain = makeBundle(dir(), QStringLiteral("Inkveil"), QStringLiteral("1.4"));
    EXPECT_EQ(bundleContaining(plain + QStringLiteral("/usr/bin/inkveil")), std::nullopt);
    writeFile(outer + QStringLiteral("/other.desktop"), "[Desktop Entry]\n");
    EXPECT_EQ(bundleContaining(outer + QStringLiteral("/usr/bin/inkveil")), std::nullopt);
}

TEST_F(BundleTest, TheSignatureCoversEveryFileAndOnlyItsKeyVerifies)
{
    const auto executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const std::pair<const char*, std::function<void(const QString&)>> changes[] = {
        {"altered file", [&](const QString& b) { writeFile(b + QStringLiteral("/usr/bin/inkveil"), "evil", executable); }},
        {"added file", [](const QString& b) { writeFile(b + QStringLiteral("/usr/bin/helper"), "evil"); }},
        {"added folder", [](const QString& b) { QDir(b).mkdir(QStringLiteral("plugins")); }},
        {"removed file", [](const QString& b) { QFile::remove(b + QStringLiteral("/usr/lib/libnotes.so.1")); }},
        {"lost executable bit",
         [](const QString& b) { QFile::setPermissions(b + QStringLiteral("/AppRun"), QFile::ReadOwner | QFile::WriteOwner); }},
        {"link retargeted",
         [](const QString& b) {
             QFile::remove(b + QStringLiteral("/usr/lib/libnotes.so"));
             QFile::link(QStringLiteral("../bin/inkveil"), b + QStringLiteral("/usr/lib/libnotes.so"));
         }},
        {"garbled signature", [](const QString& b) { writeFile(b + QStringLiteral("/_CodeSignature/signature"), "00ff"); }},
        {"file beside the signature", [](const QString& b) { writeFile(b + QStringLiteral("/_CodeSignature/notes"), "x"); }},
    };
    const auto key = BundleSignature::generateKeyPair();
    const auto foreign = BundleSignature::generateKeyPair();
    int n = 0;
    for (const auto& [name, change] : changes) {
        const QString bundle = makeBundle(path(QString::number(++n)), QStringLiteral("Inkveil.app"), QStringLiteral("1.1"));
        BundleSignature::sign(bundle, key.secretKey);
        ASSERT_TRUE(BundleSignature::isValid(bundle, key.publicKey));
        EXPECT_FALSE(BundleSignature::isValid(bundle, foreign.publicKey));
        EXPECT_FALSE(BundleSignature::isValid(bundle, QByteArray())); // a build without a release key
        change(bundle);
        EXPECT_FALSE(BundleSignature::isValid(bundle, key.publicKey)) << name;
    }
}

TEST_F(BundleTest, HostileArchivesAreRefusedWithoutWritingOutside)
{
    const std::pair<std::function<void(ZipWriter&)>, const char*> hostile[] = { // and what must not appear
        {[](ZipWriter& z) { z.addFile("A.app/../../evil", "x"); }, "evil"},
        {[](ZipWriter& z) { z.addFile("/tmp/inkveil-absolute-entry", "x"); }, "out/tmp"},
        {[](ZipWriter& z) { z.addSymlink("A.app/etc", "/etc"); }, "out/A.app/etc"},
        {[](ZipWriter& z) { z.addSymlink("A.app/up", "../../.."); }, "out/A.app/up"},
        {[](ZipWriter& z) {
             z.addSymlink("A.app/lib", "sub");
             z.addFile("A.app/lib/x", "x");
         },
         "out/A.app/sub/x"},
        {[](ZipWriter& z) {
             z.addSymlink("here", ".");
             z.addSymlink("parent", "here/..");
         },
         "never"},
    };
    for (const auto& [fill, escapee] : hostile) {
        EXPECT_EQ(unpack(fill), UpdateError::unpack) << escapee;
        EXPECT_FALSE(QFileInfo::exists(path(QString::fromUtf8(escapee))));
        EXPECT_FALSE(QFileInfo(path(QString::fromUtf8(escapee))).isSymLink());
    }
}

TEST_F(BundleTest, RefusesWhatIsNotAZipOrTooLarge)
{
    writeFile(path(QStringLiteral("update.zip")), "PK\x03\x04 but not really a zip");
    EXPECT_THROW(UpdateArchive::unpack(path(QStringLiteral("update.zip")), path(QStringLiteral("a"))), UpdateFailure);

    const QByteArray big(4096, 'z');
    EXPECT_EQ(unpack([&](ZipWriter& z) { z.addFile("A.app/big", big); }, {.maxUnpackedBytes = 4000}),
              UpdateError::unpack);
}

} // namespace
