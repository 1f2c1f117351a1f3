#include "core/engine.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

using namespace inkveil;
using InkveilEngine::discover;

namespace {

class Discovery : public test::TempDirTest {
protected:
    void TearDown() override { QLocale::setDefault(m_savedLocale); }

    // Creates empty files (and their folders) below the temporary folder.
    QStringList touch(std::initializer_list<const char*> relatives)
    {
        QStringList out;
        for (const char* r : relatives)
            out.append(test::writeFile(path(QString::fromUtf8(r)), {}));
        return out;
    }
    QString touch(const char* relative) { return touch({relative}).first(); }
    void link(const char* target, const char* relative)
    {
        EXPECT_TRUE(QFile::link(path(QString::fromUtf8(target)), path(QString::fromUtf8(relative)))) << relative;
    }
    QStringList paths(std::initializer_list<const char*> relatives) const
    {
        QStringList out;
        for (const char* r : relatives)
            out.append(path(QString::fromUtf8(r)));
        return out;
    }
    QStringList find(const char* relative) { return discover({path(QString::fromUtf8(relative))}); }

private:
    QLocale m_savedLocale;
};

} // namespace

TEST_F(Discovery, AdmitsByExtensionAndWalksDeeplySkippingHiddenEntries)
{
    EXPECT_TRUE(discover({QString()}).isEmpty());
    touch({"in/b.pdf", "in/a.PDF", "in/d..pdf", "in/x.pdf.txt", "in/x.pdfx", "in/x.pdf.", "in/pdf", "in/.hidden.pdf",
           "in/.private/x.pdf", "in/sub/deeper/c.pDf",
           // A folder with the extension is admitted itself and walked like any other.
           "in/Scans.pdf/page.pdf", "in/Scans.pdf/page.png"});
    EXPECT_EQ(find("in"), paths({"in/a.PDF", "in/b.pdf", "in/d..pdf", "in/Scans.pdf", "in/Scans.pdf/page.pdf",
                                 "in/sub/deeper/c.pDf"}));

    // Handed over by name, hidden entries are the user's choice; missing files
    // are judged by their name alone.
    EXPECT_EQ(find("in/.private"), paths({"in/.private/x.pdf"}));
    EXPECT_EQ(discover(paths({"gone/x.pdf", "gone/x.txt", "in/x.pdf.txt"})), paths({"gone/x.pdf"}));
}

TEST_F(Discovery, StandardizesAndListsEachFileOnce)
{
    const QStringList files = touch({"a/report.PDF", "a/sub/inner.pdf"});
    EXPECT_EQ(discover(paths({"a/sub/../report.PDF", "a/./report.PDF"})), QStringList{files[0]});
    // Overlapping folders, the inner one first.
    EXPECT_EQ(discover(paths({"a/sub//inner.pdf", "a/sub", "a/./", "a"})), files);
    EXPECT_EQ(discover(paths({"a/./none.pdf", "a/none.pdf"})), paths({"a/none.pdf"}));
}

TEST_F(Discovery, LinksInsideAWalkAreListedButNotFollowed)
{
    touch({"elsewhere/secret.pdf", "root/real.pdf", "target/inside.pdf"});
    link("root", "root/loop");
    link("root", "root/loop.pdf");
    link("elsewhere", "root/away");
    link("elsewhere/secret.pdf", "root/alias.pdf");
    // Dangling links are left out: nothing to open there.
    link("nowhere.pdf", "root/dangling.pdf");
    EXPECT_EQ(find("root"), paths({"root/alias.pdf", "root/loop.pdf", "root/real.pdf"}));

    // A link given by name is followed, even when its own name looks like a PDF.
    link("target", "chain.pdf");
    EXPECT_EQ(find("chain.pdf"), paths({"chain.pdf/inside.pdf"}));
}

TEST_F(Discovery, SortsDigitRunsByValueAndIgnoresCase)
{
    QStringList files = touch({"mix/file10.pdf", "mix/B.pdf", "mix/file2.pdf", "mix/a.pdf", "mix/b.pdf", "mix/scan 10.pdf",
                               "mix/scan 2.pdf", "vol 10/a.pdf", "vol 9/z.pdf"});
    const QStringList order = paths({"mix/a.pdf", "mix/B.pdf", "mix/b.pdf", "mix/file2.pdf", "mix/file10.pdf",
                                     "mix/scan 2.pdf", "mix/scan 10.pdf", "vol 9/z.pdf", "vol 10/a.pdf"});
    EXPECT_EQ(discover(files), order);
    std::reverse(files.begin(), files.end());
    EXPECT_EQ(discover(files), order);
    // As under LC_ALL=C, common on build machines.
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(discover(files), order);
}

TEST_F(Discovery, FollowsTheUsersLocale)
{
    const QStringList files = touch({"names/\u00e4rende.pdf", "names/zebra.pdf"});
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(find("names"), files);
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    EXPECT_EQ(find("names"), (QStringList{files[1], files[0]}));
}
