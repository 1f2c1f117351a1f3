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
    void touch(const QString& name)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(name);
    }
    QString pick() const { return availableURL(dir(), contract); }
};

} // namespace

TEST_F(OutputNaming, TakesTheFirstFreeNumberFromTwo)
{
    EXPECT_EQ(contract, QStringLiteral("Contract") + InkveilEngine::kRedactedSuffix);
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
