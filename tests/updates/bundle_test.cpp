#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"
#include "update/app_bundle.h"
#include "update/bundle_signature.h"
#include "update/desktop_entry.h"
#include "update/release_key.h"
#include "update/update_archive.h"
#include "update/update_error.h"
#include "update/zip_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include <sys/stat.h>

using namespace inkveil;
using namespace inkveil::test;
using SelfUpdater::UpdateError;
using SelfUpdater::UpdateFailure;

namespace {

class BundleTest : public TempDirTest {
protected:
    // Unpacks into "out"; the error, if refused.
    std::optional<UpdateError> unpack(const std::function<void(ZipWriter&)>& fill,
                                      const UpdateArchive::Limits& limits = {},
                                      const std::function<void(const QString&)>& alter = {})
    {
        QDir(path(QStringLiteral("out"))).removeRecursively();
        QDir().mkpath(path(QStringLiteral("out")));
        {
            ZipWriter zip(path(QStringLiteral("update.zip")));
            fill(zip);
            zip.close();
        }
        if (alter)
            alter(path(QStringLiteral("update.zip")));
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
    EXPECT_EQ(found->path(), QFileInfo(outer).canonicalFilePath());
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
        {"group may write", [](const QString& b) {
             QFile::setPermissions(b + QStringLiteral("/usr/lib/libnotes.so.1"),
                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
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

TEST_F(BundleTest, AFormatOneSignatureStillVerifies)
{
    const auto key = BundleSignature::generateKeyPair();
    const QString bundle = makeBundle(dir(), QStringLiteral("Inkveil.app"), QStringLiteral("1.0"));
    const auto list = BundleSignature::canonicalList(bundle, 1);
    ASSERT_TRUE(list);
    writeFile(bundle + QStringLiteral("/_CodeSignature/signature"), ReleaseKey::sign(*list, key.secretKey).toHex() + '\n');
    EXPECT_TRUE(BundleSignature::isValid(bundle, key.publicKey));
    writeFile(bundle + QStringLiteral("/AppRun"), "changed", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(BundleSignature::isValid(bundle, key.publicKey));
}

// Sets the size that the archive's directory (and local header) declares for
// its first entry named `name`.
void declareSize(const QString& archive, const QByteArray& name, quint32 size)
{
    QFile file(archive);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const auto put = [&](qsizetype at) { qToLittleEndian(size, bytes.data() + at); };
    for (const auto& [signature, sizeAt, nameLengthAt, nameAt] :
         {std::tuple{QByteArray("PK\x01\x02", 4), 24, 28, 46}, std::tuple{QByteArray("PK\x03\x04", 4), 22, 26, 30}}) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0; at = bytes.indexOf(signature, at + 4)) {
            const quint16 length = qFromLittleEndian<quint16>(bytes.constData() + at + nameLengthAt);
            if (bytes.mid(at + nameAt, length) == name)
                put(at + sizeAt);
        }
    }
    file.seek(0);
    file.write(bytes);
}

TEST_F(BundleTest, HostileArchivesAreRefusedBeforeAnythingIsWritten)
{
    struct Case {
        const char* name;
        std::function<void(ZipWriter&)> fill;
        UpdateError error = UpdateError::unpack;
        std::function<void(const QString&)> alter = {};
        bool seenInTheDirectory = true; // refused before anything is written
    };
    const Case cases[] = {
        {"climbs out", [](ZipWriter& z) { z.addFile("A.app/../../evil", "x"); }},
        {"absolute", [](ZipWriter& z) { z.addFile("/tmp/inkveil-absolute-entry", "x"); }},
        {"absolute link", [](ZipWriter& z) { z.addSymlink("A.app/etc", "/etc"); }},
        {"link up", [](ZipWriter& z) { z.addSymlink("A.app/up", "../../.."); }},
        {"link out of the bundle", [](ZipWriter& z) { z.addSymlink("A.app/up", ".."); }},
        {"through a link", [](ZipWriter& z) {
             z.addSymlink("A.app/lib", "sub");
             z.addFile("A.app/lib/x", "x");
         }, UpdateError::unpack, {}, false},
        {"links of links", [](ZipWriter& z) {
             z.addSymlink("A.app/here", ".");
             z.addSymlink("A.app/parent", "here/..");
         }, UpdateError::unpack, {}, false},
        {"a second bundle", [](ZipWriter& z) {
             z.addFile("A.app/x", "x");
             z.addFile("B.app/x", "x");
         }},
        {"a file beside the bundle", [](ZipWriter& z) {
             z.addFile("A.app/x", "x");
             z.addFile("README", "x");
         }},
        {"no bundle at the top", [](ZipWriter& z) { z.addFile("Release/A.app/x", "x"); }, UpdateError::notFound},
        {"declares gigabytes", [](ZipWriter& z) { z.addFile("A.app/pad", QByteArray(100, 'z')); }, UpdateError::unpack,
         [](const QString& archive) { declareSize(archive, "A.app/pad", 3'000'000'000u); }},
        {"holds more than it declares", [](ZipWriter& z) { z.addFile("A.app/pad", QByteArray(4000, 'z')); },
         UpdateError::unpack, [](const QString& archive) { declareSize(archive, "A.app/pad", 10); }, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unpack(c.fill, {.maxUnpackedBytes = 1 << 20}, c.alter), c.error) << c.name;
        if (c.seenInTheDirectory) {
            EXPECT_TRUE(QDir(path(QStringLiteral("out"))).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                  | QDir::NoDotAndDotDot))
                << c.name;
        }
        EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("evil"))));
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/inkveil-absolute-entry")));
    }
}

TEST_F(BundleTest, UnpackedModesAreClassModesWhateverTheArchiveAndUmask)
{
    const mode_t previous = ::umask(0);
    const auto restore = qScopeGuard([&] { ::umask(previous); });
    EXPECT_EQ(unpack([](ZipWriter& z) {
        z.addFolder("A.app", 0777);
        z.addFile("A.app/AppRun", "run", 04777);
        z.addFile("A.app/sub/data", "data", 0666);
        z.addFile("A.app/private", "data", 0600);
    }), std::nullopt);
    const std::pair<const char*, int> modes[] = {
        {"out/A.app", 0755}, {"out/A.app/AppRun", 0755}, {"out/A.app/sub", 0755},
        {"out/A.app/sub/data", 0644}, {"out/A.app/private", 0644}};
    for (const auto& [name, mode] : modes) {
        struct stat info {};
        ASSERT_EQ(::lstat(QFile::encodeName(path(QString::fromUtf8(name))).constData(), &info), 0) << name;
        EXPECT_EQ(int(info.st_mode & 07777), mode) << name;
    }
}

TEST_F(BundleTest, RefusesWhatIsNotAZipOrTooLarge)
{
    writeFile(path(QStringLiteral("update.zip")), "PK\x03\x04 but not really a zip");
    QDir().mkpath(path(QStringLiteral("a")));
    EXPECT_THROW(UpdateArchive::unpack(path(QStringLiteral("update.zip")), path(QStringLiteral("a"))), UpdateFailure);

    const QByteArray big(4096, 'z');
    EXPECT_EQ(unpack([&](ZipWriter& z) { z.addFile("A.app/big", big); }, {.maxUnpackedBytes = 4000}),
              UpdateError::unpack);
}

} // namespace
