#include "app/app_bundle.h"
#include "app/desktop_entry.h"
#include "tests/support/test_env.h"
#include "tests/updates/test_bundles.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace inkveil;
using namespace inkveil::test;

namespace {

TEST(DesktopEntry, ReadsOnlyTheDesktopEntryGroup)
{
    const QByteArray text = "# X-AppImage-Version=9\n"
                            "[Desktop Action New]\nX-AppImage-Version=8\n"
                            "[Desktop Entry]\r\nName=Ink\\sveil\\n\nX-AppImage-Version = 1.4.2\n"
                            "X-AppImage-Version[de]=7\n";
    EXPECT_EQ(DesktopEntry::value(text, QStringLiteral("X-AppImage-Version")), QStringLiteral("1.4.2"));
    EXPECT_EQ(DesktopEntry::value(text, QStringLiteral("Name")), QStringLiteral("Ink veil\n"));
    EXPECT_EQ(DesktopEntry::value(text, QStringLiteral("Exec")), std::nullopt);
    EXPECT_EQ(DesktopEntry::value(text + "X-AppImage-Version=2\n", QStringLiteral("X-AppImage-Version")), std::nullopt);
}

class AppBundleTest : public TempDirTest {};

TEST_F(AppBundleTest, FindsTheInnermostLaunchableBundleAroundTheProgram)
{
    const QString outer = makeBundle(dir(), QStringLiteral("Inkveil.app"), QStringLiteral("1.4"));
    const auto found = bundleContaining(outer + QStringLiteral("/usr/bin/inkveil"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->path, QFileInfo(outer).canonicalFilePath());
    EXPECT_EQ(found->identifier, kBundleIdentifier);
    EXPECT_EQ(found->version, QStringLiteral("1.4"));

    const QString inner = makeBundle(outer + QStringLiteral("/usr/share"), QStringLiteral("Helper.app"),
                                     QStringLiteral("2.0"), QStringLiteral("com.mervo.Helper"));
    EXPECT_EQ(bundleContaining(inner + QStringLiteral("/usr/bin/inkveil"))->identifier, QStringLiteral("com.mervo.Helper"));

    // Not a bundle: no AppRun, a name without ".app", two desktop entries.
    QFile::remove(inner + QStringLiteral("/AppRun"));
    EXPECT_EQ(bundleContaining(inner + QStringLiteral("/usr/bin/inkveil"))->identifier, kBundleIdentifier);
    const QString plain = makeBundle(dir(), QStringLiteral("Inkveil"), QStringLiteral("1.4"));
    EXPECT_EQ(bundleContaining(plain + QStringLiteral("/usr/bin/inkveil")), std::nullopt);
    writeFile(outer + QStringLiteral("/other.desktop"), "[Desktop Entry]\n");
    EXPECT_EQ(bundleContaining(outer + QStringLiteral("/usr/bin/inkveil")), std::nullopt);
}

} // namespace
