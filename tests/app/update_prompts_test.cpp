#include "tests/app/model_fixture.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSettings>

using namespace inkveil;
using inkveil::test::ModelTest;

namespace {

const QString kOffer = QStringLiteral(
    "A new version of Mervo Inkveil is available/Version 2.0 is ready. The app will update itself and relaunch."
    "/Update Now|Later");

UpdateInfo offer(const QString& version)
{
    UpdateInfo info;
    info.version = version;
    info.downloadURL = QUrl(QStringLiteral("https://updates.mervo.example/Inkveil-%1.zip").arg(version));
    return info;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class UpdatePromptTest : public ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        // Settings go to the test's own folder, never the user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir());
    }
};

TEST_F(UpdatePromptTest, LaterSilencesTheAutomaticOfferForThatVersionOnly)
{
    manifestOffer = offer(QStringLiteral("2.0"));
    model();
    settle();
    EXPECT_EQ(dialogs.alerts, QStringList{kOffer});

    // Next launch, same manifest: nothing shown.
    destroyModel();
    dialogs.alerts.clear();
    model();
    settle();
    EXPECT_TRUE(dialogs.alerts.isEmpty());

    // A manual check offers a declined version again.
    model().checkForUpdatesManually();
    settle();
    EXPECT_EQ(dialogs.alerts, QStringList{kOffer});

    // A newer version prompts again at start.
    destroyModel();
    dialogs.alerts.clear();
    manifestOffer = offer(QStringLiteral("2.1"));
    model();
    settle();
    EXPECT_EQ(dialogs.alerts.size(), 1);
    EXPECT_TRUE(dialogs.alerts.value(0).contains(QStringLiteral("Version 2.1 is ready.")));
}

TEST_F(UpdatePromptTest, ManualCheckSaysUpToDateAndRunsOnceAtATime)
{
    qputenv("DISABLE_AUTO_UPDATE", "");
    QPromise<std::optional<UpdateInfo>> pending;
    pending.start();
    UpdateServices services;
    services.check = [&](const QUrl&, const QString&) {
        ++updateChecks;
        return pending.future();
    };
    model().setUpdateServices(services);
    settle();
    EXPECT_EQ(updateChecks, 0); // even an empty value turns the automatic check off

    model().checkForUpdatesManually();
    model().checkForUpdatesManually();
    EXPECT_EQ(updateChecks, 1);

    pending.addResult(std::nullopt);
    pending.finish();
    settle();
    EXPECT_FALSE(model().isCheckingForUpdate());
    EXPECT_EQ(dialogs.alerts,
              QStringList{QStringLiteral("You're up to date/Mervo Inkveil Development is the latest version.")});
    EXPECT_FALSE(model().availableUpdate());
}

TEST_F(UpdatePromptTest, UpdateNowInstallsThenQuitsOrReportsTheFailure)
{
    qputenv("DISABLE_AUTO_UPDATE", "1");
    for (const bool succeeds : {true, false}) {
        SCOPED_TRACE(succeeds);
        destroyModel();
        dialogs.alerts.clear();
        QStringList installed;
        int quits = 0;
        UpdateServices services;
        services.check = [](const QUrl&, const QString&) {
            return QtFuture::makeReadyFuture(std::optional(offer(QStringLiteral("2.0"))));
        };
        services.install = [&](const UpdateInfo& info) {
            installed.append(info.version);
            QPromise<void> done;
            done.start();
            if (!succeeds)
                done.setException(std::make_exception_ptr(std::runtime_error("no")));
            done.finish();
            return done.future();
        };
        services.quit = [&] { ++quits; };
        model().setUpdateServices(services);
        dialogs.alertAnswer = 0;

        model().checkForUpdatesManually();
        settle();
        EXPECT_EQ(installed, QStringList{QStringLiteral("2.0")});
        EXPECT_EQ(quits, succeeds ? 1 : 0);
        EXPECT_EQ(model().isUpdating(), succeeds);
        if (succeeds) {
            // While installing, no second offer is shown.
            dialogs.alerts.clear();
            model().promptForUpdate();
            model().checkForUpdatesManually();
            settle();
            EXPECT_TRUE(dialogs.alerts.isEmpty());
        } else {
            EXPECT_EQ(model().errorMessage(), QStringLiteral("The update could not be installed."));
            EXPECT_TRUE(model().availableUpdate());
        }
    }
}
