#include "core/engine.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>

using namespace inkveil;
using InkveilEngine::availableURL;

namespace {

const QString contract = QStringLiteral("Contract \u2014 Redacted");

class OutputNaming : public test::TempDirTest {
protected:
    void touch(const QString& name) { test::writeFile(path(name), {}); }
    QString pick() const { return availableURL(dir(), contract); }
};

} // namespace

TEST_F(OutputNaming, TakesTheFirstFreeNumberFromTwo)
{
    // Linux file systems tell letter case apart, so a name in other case is free.
    touch(QStringLiteral("contract \u2014 redacted.pdf"));
    EXPECT_EQ(availableURL(dir() + u'/', contract), path(contract + QStringLiteral(".pdf")));

    touch(contract + QStringLiteral(".pdf"));
    touch(contract + QStringLiteral(" 1.pdf"));
    touch(contract + QStringLiteral(" 5.pdf"));
    EXPECT_EQ(pick(), path(contract + QStringLiteral(" 2.pdf")));
    touch(contract + QStringLiteral(" 2.pdf"));
    EXPECT_EQ(pick(), path(contract + QStringLiteral(" 3.pdf")));

    // The base is used as given: dots and placeholders are not parsed.
    touch(QStringLiteral("scan.v2 %1.pdf"));
    EXPECT_EQ(availableURL(dir(), QStringLiteral("scan.v2 %1")), path(QStringLiteral("scan.v2 %1 2.pdf")));
}

TEST_F(OutputNaming, AnythingAtThePathIsTaken)
{
    ASSERT_TRUE(QDir(dir()).mkdir(contract + QStringLiteral(".pdf")));
    EXPECT_EQ(pick(), path(contract + QStringLiteral(" 2.pdf")));

    // A dangling link: writing there would replace the link.
    ASSERT_TRUE(QFile::link(path(QStringLiteral("gone.pdf")), path(contract + QStringLiteral(" 2.pdf"))));
    EXPECT_EQ(pick(), path(contract + QStringLiteral(" 3.pdf")));
}

// Names too long for the file system are cut between characters, never inside
// one, so that the copy, numbered or not, can be written.
TEST_F(OutputNaming, LongNamesAreCutToFitBetweenCharacters)
{
    const struct {
        const char* name;
        QString stem;
        int unit; // UTF-16 units per character that may not be split
    } cases[] = {
        {"short", QStringLiteral("Contract"), 1},
        {"ascii", QString(245, u'a'), 1},
        {"two-byte letters", QString(125, QChar(0xe9)), 1},
        {"combining accents", QStringLiteral("e\u0301").repeated(83), 2},
        {"emoji", QStringLiteral("\U0001F600").repeated(61), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString base = InkveilEngine::redactedBase(dir(), path(c.stem + QStringLiteral(".pdf")));
        ASSERT_TRUE(base.endsWith(InkveilEngine::kRedactedSuffix));
        const QString kept = base.chopped(InkveilEngine::kRedactedSuffix.size());
        EXPECT_TRUE(c.stem.startsWith(kept));
        EXPECT_EQ(kept.size() % c.unit, 0);
        EXPECT_LE(QFile::encodeName(base + QStringLiteral(" 9999.pdf")).size(), 255);
        if (c.stem.size() < 20)
            EXPECT_EQ(kept, c.stem);
        else
            EXPECT_GT(QFile::encodeName(base + QStringLiteral(" 9999.pdf")).size(), 245);
    }
}
