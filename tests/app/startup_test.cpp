#include "tests/app/model_fixture.h"

#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QUrlQuery>

using namespace inkveil;
using namespace inkveil::test;

class StartupTest : public ModelTest {};

TEST_F(StartupTest, ANewModelStartsEmptyWithFixedConstants)
{
    const AppModel& m = model();
    EXPECT_EQ(m.version(), QStringLiteral("Development")); // tests do not run from a bundle
    EXPECT_EQ(m.feedbackURL().scheme(), QStringLiteral("https"));
    EXPECT_EQ(m.feedbackURL().path(), QStringLiteral("/"));
    EXPECT_EQ(QUrlQuery(m.feedbackURL()).query(), QStringLiteral("app=inkveil"));
    EXPECT_EQ(m.websiteURL().scheme(), QStringLiteral("https"));
    EXPECT_EQ(AppModel::updateManifest().fileName(), QStringLiteral("latest.json"));
    EXPECT_EQ(m.dpi(), 200.0);
    EXPECT_FALSE(m.outputFolder() || m.availableUpdate());
}

class AutoUpdateTest : public ModelTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(AutoUpdateTest, AnyValueOfTheVariableSuppressesTheCheck)
{
    const bool set = GetParam() != std::string("absent");
    if (set)
        qputenv("DISABLE_AUTO_UPDATE", GetParam());
    EXPECT_EQ(model().automaticUpdateCheckStarted(), !set);
}

INSTANTIATE_TEST_SUITE_P(Values, AutoUpdateTest, ::testing::Values("absent", "", "0", "1"), [](const auto& info) {
    return *info.param ? (info.param == std::string("absent") ? std::string("absent") : "is" + std::string(info.param))
                       : std::string("empty");
});

TEST_F(StartupTest, ThePresetOutputFolderIsMadeAbsoluteAndSkipsTheDialog)
{
    qputenv("MERVO_UI_TEST_OUTPUT_DIR", "out/./here");
    EXPECT_EQ(model().outputFolder(), QDir::current().absoluteFilePath(QStringLiteral("out/here")));
    destroyModel();

    qputenv("MERVO_UI_TEST_OUTPUT_DIR", QFile::encodeName(file(QStringLiteral("not-yet"))));
    model().add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().redact();
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(model().errorMessage(), ModelMessages::destinationNotWritable);
}

TEST_F(StartupTest, TestInputsAreAddedOnceTheEventLoopRuns)
{
    const QString a = pdf(QStringLiteral("a.pdf"));
    const QString docs = subdir(QStringLiteral("docs"));
    pdf(QStringLiteral("docs/b.pdf"));
    qputenv("MERVO_UI_TEST_INPUTS", QFile::encodeName(a + QStringLiteral("\n\n") + docs + u'\n'));
    EXPECT_TRUE(model().inputs().isEmpty()); // not during creation
    QCoreApplication::processEvents();
    ASSERT_EQ(model().inputs().size(), 2);
    EXPECT_EQ(model().inputs().at(0).url, a);
    EXPECT_FALSE(model().errorMessage());

    destroyModel();
    qputenv("MERVO_UI_TEST_INPUTS", "");
    model();
    QCoreApplication::processEvents();
    EXPECT_EQ(model().errorMessage(), ModelMessages::noPdfsFound);

    destroyModel(); // before its queued add ran: the add is dropped
    QCoreApplication::processEvents();
}
