#include "core/engine.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <iostream>

using namespace inkveil;
using InkveilEngine::discover;

namespace {

class Discovery : public test::TempDirTest {
protected:
    // Creates an empty file (and its folders) below the temporary folder.
    QString touch(const QString& relative)
    {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(full);
        return full;
    }
    QString link(const QString& target, const QString& relative)
    {
        EXPECT_TRUE(QFile::link(target, path(relative))) << qPrintable(relative);
        return path(relative);
    }
    QStringList paths(std::initializer_list<const char*> relatives) const
    {
        QStringList out;
        for (const char* r : relatives)
            out.append(path(QString::fromUtf8(r)));
        return out;
    }
};

// Runs each test with a default locale of its choosing and puts the old one back.
class DiscoveryInLocale : public Discovery {
protected:
    void TearDown() override { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

// The order every locale must agree on.
QStringList namesInSortedOrder(const QStringList& found)
{
    QStringList names;
    for (const QString& p : found)
        names.append(QFileInfo(p).fileName());
    return names;
}

const QStringList numericAndCaselessFiles = {
    QStringLiteral("file10.pdf"), QStringLiteral("B.pdf"), QStringLiteral("file2.pdf"),
    QStringLiteral("a.pdf"),      QStringLiteral("b.pdf"), QStringLiteral("scan 10.pdf"),
    QStringLiteral("scan 2.pdf"), QStringLiteral("c.pdf"),
};
const QStringList numericAndCaselessOrder = {
    QStringLiteral("a.pdf"),     QStringLiteral("B.pdf"),      QStringLiteral("b.pdf"),
    QStringLiteral("c.pdf"),     QStringLiteral("file2.pdf"),  QStringLiteral("file10.pdf"),
    QStringLiteral("scan 2.pdf"), QStringLiteral("scan 10.pdf"),
};

} // namespace

TEST_F(Discovery, NothingInNothingOut)
{
    EXPECT_TRUE(discover({}).isEmpty());
    EXPECT_TRUE(discover({QString()}).isEmpty());
    touch(QStringLiteral("notes.txt"));
    QDir().mkpath(path(QStringLiteral("empty")));
    EXPECT_TRUE(discover({dir()}).isEmpty());
}

TEST_F(Discovery, WalksAFolderDeeplyAndSortsFullPaths)
{
    touch(QStringLiteral("b.pdf"));
    touch(QStringLiteral("a.PDF"));
    touch(QStringLiteral(".hidden.pdf"));
    touch(QStringLiteral("notes.txt"));
    touch(QStringLiteral("sub/c.pdf"));
    touch(QStringLiteral("sub/deeper/still/d.Pdf"));
    EXPECT_EQ(discover({dir()}), paths({"a.PDF", "b.pdf", "sub/c.pdf", "sub/deeper/still/d.Pdf"}));
}

TEST_F(Discovery, AdmitsByExtensionAlone)
{
    touch(QStringLiteral("in/a.pdf"));
    touch(QStringLiteral("in/b.PDF"));
    touch(QStringLiteral("in/c.pDf"));
    touch(QStringLiteral("in/d..pdf"));
    touch(QStringLiteral("in/x.pdf.txt"));
    touch(QStringLiteral("in/x.pdfx"));
    touch(QStringLiteral("in/x.pdf."));
    touch(QStringLiteral("in/xpdf"));
    touch(QStringLiteral("in/pdf"));
    touch(QStringLiteral("in/x.ps"));
    // A folder with the extension is admitted itself and walked like any other.
    touch(QStringLiteral("in/Scans.pdf/page.pdf"));
    touch(QStringLiteral("in/Scans.pdf/page.png"));
    EXPECT_EQ(discover({path(QStringLiteral("in"))}),
              paths({"in/a.pdf", "in/b.PDF", "in/c.pDf", "in/d..pdf", "in/Scans.pdf", "in/Scans.pdf/page.pdf"}));

    // Given directly, whatever exists or not, the same test applies.
    const QString missingPdf = path(QStringLiteral("gone/x.pdf"));
    const QString missingText = path(QStringLiteral("gone/x.txt"));
    const QString plainFile = touch(QStringLiteral("in/x.ps"));
    EXPECT_EQ(discover({missingPdf, missingText, plainFile}), QStringList{missingPdf});
}

TEST_F(Discovery, HiddenEntriesAreSkippedOnlyInsideAWalk)
{
    touch(QStringLiteral("docs/.private/x.pdf"));
    touch(QStringLiteral("docs/.private/deep/y.pdf"));
    touch(QStringLiteral("docs/.z.pdf"));
    touch(QStringLiteral("docs/seen.pdf"));
    EXPECT_EQ(discover({path(QStringLiteral("docs"))}), paths({"docs/seen.pdf"}));

    // Handed over by name, hidden folders and files are the user's choice.
    EXPECT_EQ(discover({path(QStringLiteral("docs/.private"))}), paths({"docs/.private/deep/y.pdf", "docs/.private/x.pdf"}));
    EXPECT_EQ(discover({path(QStringLiteral("docs/.z.pdf"))}), paths({"docs/.z.pdf"}));
}

TEST_F(Discovery, DescendsIntoPackageLikeFolders)
{
    touch(QStringLiteral("apps/Viewer.app/Contents/Resources/manual.pdf"));
    touch(QStringLiteral("apps/Viewer.app/AppRun"));
    EXPECT_EQ(discover({path(QStringLiteral("apps"))}), paths({"apps/Viewer.app/Contents/Resources/manual.pdf"}));
}

TEST_F(Discovery, StandardizesAndListsEachFileOnce)
{
    touch(QStringLiteral("a/report.PDF"));
    touch(QStringLiteral("a/sub/inner.pdf"));
    const QString report = path(QStringLiteral("a/report.PDF"));
    const QString inner = path(QStringLiteral("a/sub/inner.pdf"));

    EXPECT_EQ(discover({path(QStringLiteral("a/./report.PDF"))}), QStringList{report});
    EXPECT_EQ(discover({path(QStringLiteral("a/sub/../report.PDF")), report}), QStringList{report});
    EXPECT_EQ(discover({path(QStringLiteral("a/sub//inner.pdf")), path(QStringLiteral("a/")), report}),
              (QStringList{report, inner}));
    // Overlapping folders, the inner one first.
    EXPECT_EQ(discover({path(QStringLiteral("a/sub")), path(QStringLiteral("a/./")), path(QStringLiteral("a"))}),
              (QStringList{report, inner}));
    // A missing file is standardized too, so spellings of it collapse.
    EXPECT_EQ(discover({path(QStringLiteral("a/./none.pdf")), path(QStringLiteral("a/none.pdf"))}),
              paths({"a/none.pdf"}));
}

TEST_F(Discovery, LinksInsideAWalkAreListedButNotFollowed)
{
    touch(QStringLiteral("elsewhere/secret.pdf"));
    touch(QStringLiteral("root/real.pdf"));
    link(path(QStringLiteral("root")), QStringLiteral("root/loop"));
    link(path(QStringLiteral("root")), QStringLiteral("root/loop.pdf"));
    link(path(QStringLiteral("elsewhere")), QStringLiteral("root/away"));
    link(path(QStringLiteral("elsewhere/secret.pdf")), QStringLiteral("root/alias.pdf"));
    // Dangling links are left out with pipes and sockets: nothing to open there.
    link(path(QStringLiteral("nowhere.pdf")), QStringLiteral("root/dangling.pdf"));

    EXPECT_EQ(discover({path(QStringLiteral("root"))}), paths({"root/alias.pdf", "root/loop.pdf", "root/real.pdf"}));
}

TEST_F(Discovery, AGivenLinkToAFolderIsWalked)
{
    touch(QStringLiteral("target/inside.pdf"));
    link(path(QStringLiteral("target")), QStringLiteral("shortcut"));
    link(path(QStringLiteral("shortcut")), QStringLiteral("chain.pdf"));
    EXPECT_EQ(discover({path(QStringLiteral("shortcut"))}), paths({"shortcut/inside.pdf"}));
    // The final link is followed even when the link's own name looks like a PDF.
    EXPECT_EQ(discover({path(QStringLiteral("chain.pdf"))}), paths({"chain.pdf/inside.pdf"}));
}

TEST_F(Discovery, SortsDigitRunsByValueAndIgnoresCase)
{
    for (const QString& name : numericAndCaselessFiles)
        touch(QStringLiteral("mix/") + name);
    touch(QStringLiteral("vol 10/a.pdf"));
    touch(QStringLiteral("vol 9/z.pdf"));

    const QStringList found = discover({path(QStringLiteral("mix"))});
    std::cout << "collation locale: " << qPrintable(QLocale().name()) << std::endl;
    EXPECT_EQ(namesInSortedOrder(found), numericAndCaselessOrder);

    // Digit runs count in folder names too.
    EXPECT_EQ(discover({path(QStringLiteral("vol 10")), path(QStringLiteral("vol 9"))}),
              paths({"vol 9/z.pdf", "vol 10/a.pdf"}));
}

TEST_F(Discovery, OrderDoesNotDependOnTheInput)
{
    QStringList files;
    for (const QString& name : numericAndCaselessFiles)
        files.append(touch(QStringLiteral("mix/") + name));
    const QStringList first = discover(files);
    std::reverse(files.begin(), files.end());
    EXPECT_EQ(discover(files), first);
    std::rotate(files.begin(), files.begin() + 3, files.end());
    EXPECT_EQ(discover(files), first);
}

TEST_F(DiscoveryInLocale, CLocaleStillSortsByValueWithoutCase)
{
    for (const QString& name : numericAndCaselessFiles)
        touch(QStringLiteral("mix/") + name);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(namesInSortedOrder(discover({path(QStringLiteral("mix"))})), numericAndCaselessOrder);
}

TEST_F(DiscoveryInLocale, FollowsTheUsersLocale)
{
    touch(QStringLiteral("names/\u00e4rende.pdf"));
    touch(QStringLiteral("names/zebra.pdf"));
    const QStringList german = {QStringLiteral("\u00e4rende.pdf"), QStringLiteral("zebra.pdf")};
    const QStringList swedish = {QStringLiteral("zebra.pdf"), QStringLiteral("\u00e4rende.pdf")};

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(namesInSortedOrder(discover({path(QStringLiteral("names"))})), german);
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    EXPECT_EQ(namesInSortedOrder(discover({path(QStringLiteral("names"))})), swedish);
}

// The process locale comes from the environment; CI machines often run with
// LANG=C or LC_ALL=POSIX. Re-run the sorting test in a child that has it.
TEST(DiscoveryEnvironment, SortsTheSameUnderCAndPosixEnvironments)
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    ASSERT_FALSE(self.isEmpty());
    const QList<QPair<QString, QString>> settings = {
        {QStringLiteral("LC_ALL"), QStringLiteral("C")},
        {QStringLiteral("LC_ALL"), QStringLiteral("POSIX")},
        {QStringLiteral("LANG"), QStringLiteral("C")},
        {QStringLiteral("LANG"), QStringLiteral("C.UTF-8")},
        {QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8")},
    };
    for (const auto& [variable, value] : settings) {
        SCOPED_TRACE(qPrintable(variable + u'=' + value));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& key : env.keys()) {
            if (key.startsWith(QStringLiteral("LC_")) || key == QStringLiteral("LANG") || key == QStringLiteral("LANGUAGE"))
                env.remove(key);
        }
        env.insert(variable, value);

        QProcess child;
        child.setProcessEnvironment(env);
        child.start(self, {QStringLiteral("--gtest_filter=Discovery.SortsDigitRunsByValueAndIgnoresCase")});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray out = child.readAllStandardOutput();
        EXPECT_EQ(child.exitCode(), 0) << out.constData();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.constData();
        if (value.startsWith(u'C') || value == QStringLiteral("POSIX")) {
            EXPECT_TRUE(out.contains("collation locale: C\n")) << out.constData();
        }
    }
}
