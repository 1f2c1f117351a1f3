#include "tests/app/model_fixture.h"
#include "update/update_error.h"

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
    QPromise<Updater::CheckResult> pending;
    pending.start();
    UpdateServices services;
    services.check = [&](const QUrl&, const QString&) {
        ++updateChecks;
        return pending.future();
    };
    services.enabled = true;
    model().setUpdateServices(services);
    settle();
    EXPECT_EQ(updateChecks, 0); // even an empty value turns the automatic check off

    model().checkForUpdatesManually();
    model().checkForUpdatesManually();
    EXPECT_EQ(updateChecks, 1);

    pending.addResult(Updater::CheckResult{});
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
            return QtFuture::makeReadyFuture(Updater::CheckResult{offer(QStringLiteral("2.0")), false});
        };
        services.enabled = true;
        services.install = [&](const UpdateInfo& info) {
            installed.append(info.version);
            QPromise<void> done;
            done.start();
            if (!succeeds)
                done.setException(std::make_exception_ptr(SelfUpdater::UpdateFailure(
                    SelfUpdater::UpdateError::unsafeLocation, QStringLiteral("Other users can change /shared."))));
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
            EXPECT_EQ(model().errorMessage(),
                      QStringLiteral("The update could not be installed. Other users can change /shared."));
            EXPECT_TRUE(model().availableUpdate());
        }
    }
}

// An answer the release key does not vouch for: silent at start, an alert when
// asked. A build without a release key never checks at all.
TEST_F(UpdatePromptTest, UnverifiedAnswersAreReportedOnlyWhenAskedAndKeylessBuildsNeverCheck)
{
    manifestUnverified = true;
    model();
    settle();
    EXPECT_EQ(updateChecks, 1);
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    model().checkForUpdatesManually();
    settle();
    EXPECT_EQ(dialogs.alerts, QStringList{QStringLiteral("The update server's answer could not be verified./"
                                                         "Mervo Inkveil Development was not updated. Try again later.")});

    destroyModel();
    dialogs.alerts.clear();
    updateChecks = 0;
    UpdateServices keyless;
    keyless.check = [&](const QUrl&, const QString&) {
        ++updateChecks;
        return QtFuture::makeReadyFuture(Updater::CheckResult{});
    };
    keyless.enabled = false;
    model().setUpdateServices(keyless);
    model().checkForUpdatesManually();
    settle();
    EXPECT_FALSE(model().updatesEnabled());
    EXPECT_EQ(updateChecks, 0);
    EXPECT_TRUE(dialogs.alerts.isEmpty());
}
