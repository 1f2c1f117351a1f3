#include "tests/app/model_fixture.h"

#include "app/app_bundle.h"
#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QUrlQuery>

using namespace inkveil;
using namespace inkveil::test;

class StartupTest : public ModelTest {};

TEST_F(StartupTest, ANewModelStartsEmptyWithFixedConstants)
{
    const AppModel& m = model();
    EXPECT_EQ(m.version(), QStringLiteral("Development"));
    EXPECT_EQ(m.feedbackURL().scheme(), QStringLiteral("https"));
    EXPECT_EQ(m.feedbackURL().path(), QStringLiteral("/"));
    EXPECT_EQ(QUrlQuery(m.feedbackURL()).queryItems(),
              (QList<QPair<QString, QString>>{{QStringLiteral("app"), QStringLiteral("inkveil")}}));
    EXPECT_EQ(m.websiteURL().scheme(), QStringLiteral("https"));
    EXPECT_EQ(AppModel::updateManifest().scheme(), QStringLiteral("https"));
    EXPECT_EQ(AppModel::updateManifest().fileName(), QStringLiteral("latest.json"));

    EXPECT_TRUE(m.inputs().isEmpty());
    EXPECT_FALSE(m.selection());
    EXPECT_EQ(m.currentPage(), 0);
    EXPECT_EQ(m.dpi(), 200.0);
    EXPECT_FALSE(m.outputFolder());
    EXPECT_FALSE(m.isRedacting() || m.isDropTargeted() || m.isUpdating() || m.isCheckingForUpdate());
    EXPECT_EQ(m.progress(), 0.0);
    EXPECT_FALSE(m.errorMessage() || m.resultMessage());
    EXPECT_TRUE(m.previewImage().isNull());
}

TEST_F(StartupTest, NothingIsRememberedBetweenLaunches)
{
    model().setDpi(300);
    model().setOutputFolder(dir());
    destroyModel();
    EXPECT_EQ(model().dpi(), 200.0);
    EXPECT_FALSE(model().outputFolder());
}

struct UpdateSwitch {
    const char* name;
    std::optional<QByteArray> value;
    bool checks;
};

inline void PrintTo(const UpdateSwitch& value, std::ostream* out) { *out << value.name; }

class AutoUpdateTest : public ModelTest, public ::testing::WithParamInterface<UpdateSwitch> {};

TEST_P(AutoUpdateTest, OnlyTheAbsenceOfTheVariableStartsTheCheck)
{
    if (GetParam().value)
        qputenv("DISABLE_AUTO_UPDATE", *GetParam().value);
    EXPECT_EQ(model().automaticUpdateCheckStarted(), GetParam().checks);
}

INSTANTIATE_TEST_SUITE_P(Values, AutoUpdateTest,
                         ::testing::Values(UpdateSwitch{"absent", std::nullopt, true},
                                           UpdateSwitch{"empty", QByteArray(""), false},
                                           UpdateSwitch{"zero", QByteArray("0"), false},
                                           UpdateSwitch{"one", QByteArray("1"), false}),
                         [](const ::testing::TestParamInfo<UpdateSwitch>& info) { return std::string(info.param.name); });

TEST_F(StartupTest, ThePresetOutputFolderSkipsTheFolderDialog)
{
    const QString missing = path(QStringLiteral("not-yet"));
    qputenv("MERVO_UI_TEST_OUTPUT_DIR", QFile::encodeName(missing));
    EXPECT_EQ(model().outputFolder(), missing);

    model().add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.2, 0.2});
    model().redact();

    EXPECT_TRUE(dialogs.folderRequests.isEmpty());
    EXPECT_EQ(model().errorMessage(), ModelMessages::destinationNotWritable);
}

TEST_F(StartupTest, ARelativeOutputFolderIsTakenFromTheWorkingFolder)
{
    qputenv("MERVO_UI_TEST_OUTPUT_DIR", "out/./here");
    EXPECT_EQ(model().outputFolder(), QDir::current().absoluteFilePath(QStringLiteral("out/here")));
}

TEST_F(StartupTest, TestInputsAreAddedOnceTheEventLoopRuns)
{
    const QString a = pdf(QStringLiteral("a.pdf"));
    const QString b = pdf(QStringLiteral("b.pdf"));
    qputenv("MERVO_UI_TEST_INPUTS", QFile::encodeName(a + QStringLiteral("\n\n") + b + QStringLiteral("\n")));

    EXPECT_TRUE(model().inputs().isEmpty()); // not during creation
    QCoreApplication::processEvents();

    ASSERT_EQ(model().inputs().size(), 2);
    EXPECT_EQ(model().inputs().at(0).url, a);
    EXPECT_EQ(model().inputs().at(1).url, b);
    EXPECT_EQ(model().selection(), model().inputs().at(0).id);
    EXPECT_FALSE(model().errorMessage());
}

TEST_F(StartupTest, TestInputsMayNameAFolder)
{
    const QString folder = subdir(QStringLiteral("docs"));
    pdf(QStringLiteral("docs/x.pdf"));
    pdf(QStringLiteral("docs/y.pdf"));
    qputenv("MERVO_UI_TEST_INPUTS", QFile::encodeName(folder));
    model();
    QCoreApplication::processEvents();
    EXPECT_EQ(model().inputs().size(), 2);
}

TEST_F(StartupTest, EmptyTestInputsReportThatNothingWasFound)
{
    qputenv("MERVO_UI_TEST_INPUTS", "");
    model();
    QCoreApplication::processEvents();
    EXPECT_EQ(model().errorMessage(), ModelMessages::noPdfsFound);
}

TEST_F(StartupTest, TestInputsForAModelAlreadyGoneAreDropped)
{
    qputenv("MERVO_UI_TEST_INPUTS", QFile::encodeName(pdf(QStringLiteral("a.pdf"))));
    model();
    destroyModel();
    QCoreApplication::processEvents(); // must not reach the destroyed model
    qunsetenv("MERVO_UI_TEST_INPUTS");
    EXPECT_TRUE(model().inputs().isEmpty());
}

// ---- Running from an application bundle -------------------------------------------

class BundleTest : public TempDirTest {
protected:
    // <name>/AppRun, <name>/<entries>, <name>/usr/bin; returns usr/bin.
    QString makeBundle(const QString& name, const QStringList& entries, const QByteArray& entryText,
                       bool executableAppRun = true)
    {
        const QString root = path(name);
        QDir().mkpath(root + QStringLiteral("/usr/bin"));
        QFile appRun(root + QStringLiteral("/AppRun"));
        EXPECT_TRUE(appRun.open(QIODevice::WriteOnly));
        appRun.write("#!/bin/sh\n");
        appRun.close();
        if (executableAppRun)
            appRun.setPermissions(appRun.permissions() | QFile::ExeOwner);
        for (const QString& entry : entries) {
            QFile f(root + u'/' + entry);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(entryText);
        }
        return root + QStringLiteral("/usr/bin");
    }
};

TEST_F(BundleTest, TheBundleAroundTheProgramGivesItsVersion)
{
    const QString bin = makeBundle(QStringLiteral("Inkveil.app"), {QStringLiteral("com.mervo.Inkveil.desktop")},
                                   "[Desktop Entry]\nName=Inkveil\nX-AppImage-Version = 1.4.2\n"
                                   "[Desktop Action x]\nX-AppImage-Version=9\n");
    const auto bundle = findAppBundle(bin);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->path, path(QStringLiteral("Inkveil.app")));
    EXPECT_EQ(bundle->identifier, QStringLiteral("com.mervo.Inkveil"));
    EXPECT_EQ(bundle->version, QStringLiteral("1.4.2"));
}

TEST_F(BundleTest, FoldersThatAreNotBundlesAreNotTaken)
{
    const QByteArray entry = "[Desktop Entry]\nX-AppImage-Version=1.0\n";
    EXPECT_FALSE(findAppBundle(makeBundle(QStringLiteral("Plain"), {QStringLiteral("a.desktop")}, entry)));
    EXPECT_FALSE(findAppBundle(
        makeBundle(QStringLiteral("Two.app"), {QStringLiteral("a.desktop"), QStringLiteral("b.desktop")}, entry)));
    EXPECT_FALSE(findAppBundle(makeBundle(QStringLiteral("None.app"), {}, entry)));
    EXPECT_FALSE(findAppBundle(makeBundle(QStringLiteral("Inert.app"), {QStringLiteral("a.desktop")}, entry, false)));

    const auto unversioned = findAppBundle(makeBundle(QStringLiteral("Bare.app"), {QStringLiteral("a.desktop")},
                                                      "[Desktop Entry]\nName=Bare\n"));
    ASSERT_TRUE(unversioned);
    EXPECT_TRUE(unversioned->version.isEmpty());
}
