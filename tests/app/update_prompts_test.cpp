#include "tests/app/model_fixture.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSettings>
#include <QTest>

using namespace inkveil;
using inkveil::test::ModelTest;

namespace {

const QString kOffer = QStringLiteral(
    "A new version of Mervo Inkveil is available/Version 2.0 is ready. The app will update itself and relaunch."
    "/Update Now|Later");
const QString kKey = QStringLiteral("mervo.inkveil.updatePromptedVersion");

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
        QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).remove(kKey);
    }

    // Installation stand-ins: record the offer, and succeed or fail.
    void installWith(bool succeeds)
    {
        UpdateServices services;
        services.check = [this](const QUrl&, const QString&) {
            ++updateChecks;
            return QtFuture::makeReadyFuture(manifestOffer);
        };
        services.install = [this, succeeds](const UpdateInfo& info) {
            installed.append(info.version);
            if (succeeds)
                return QtFuture::makeReadyFuture();
            QPromise<void> failed;
            failed.start();
            failed.setException(std::make_exception_ptr(std::runtime_error("no")));
            failed.finish();
            return failed.future();
        };
        services.quit = [this] { ++quits; };
        model().setUpdateServices(services);
    }

    QStringList installed;
    int quits = 0;
};

TEST_F(UpdatePromptTest, LaterSilencesTheAutomaticOfferForThatVersionOnly)
{
    manifestOffer = offer(QStringLiteral("2.0"));
    model();
    settle();
    EXPECT_EQ(updateChecks, 1);
    EXPECT_EQ(dialogs.alerts, QStringList{kOffer});
    EXPECT_EQ(QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).value(kKey).toString(), QStringLiteral("2.0"));
    EXPECT_EQ(model().updateMenuTitle(), QStringLiteral("Update to 2.0\u2026"));

    // Next launch, same manifest: nothing shown, the menu item still offers it.
    destroyModel();
    dialogs.alerts.clear();
    model();
    settle();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    EXPECT_EQ(model().updateMenuTitle(), QStringLiteral("Update to 2.0\u2026"));

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
    EXPECT_EQ(updateChecks, 0); // no automatic check

    QSignalSpy checking(&model(), &AppModel::isCheckingForUpdateChanged);
    model().checkForUpdatesManually();
    model().checkForUpdatesManually();
    EXPECT_EQ(updateChecks, 1);
    EXPECT_TRUE(model().isCheckingForUpdate());

    pending.addResult(std::nullopt);
    pending.finish();
    settle();
    EXPECT_FALSE(model().isCheckingForUpdate());
    EXPECT_EQ(checking.count(), 2);
    EXPECT_EQ(dialogs.alerts,
              QStringList{QStringLiteral("You're up to date/Mervo Inkveil Development is the latest version.")});
    EXPECT_FALSE(model().availableUpdate());
    EXPECT_TRUE(model().updateMenuTitle().isEmpty());
}

TEST_F(UpdatePromptTest, UpdateNowInstallsThenQuits)
{
    qputenv("DISABLE_AUTO_UPDATE", "1");
    manifestOffer = offer(QStringLiteral("2.0"));
    dialogs.alertAnswer = 0;
    installWith(true);
    model().checkForUpdatesManually();
    settle();
    EXPECT_EQ(installed, QStringList{QStringLiteral("2.0")});
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(model().isUpdating());
    // Accepting never stores the version.
    EXPECT_FALSE(QSettings(QStringLiteral("Mervo"), QStringLiteral("Inkveil")).contains(kKey));

    // While installing, no second offer is shown.
    dialogs.alerts.clear();
    model().promptForUpdate();
    model().checkForUpdatesManually();
    settle();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
}

TEST_F(UpdatePromptTest, AFailedInstallationIsReportedAndOfferedAgain)
{
    qputenv("DISABLE_AUTO_UPDATE", "1");
    manifestOffer = offer(QStringLiteral("2.0"));
    dialogs.alertAnswer = 0;
    installWith(false);
    model().checkForUpdatesManually();
    settle();
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(model().isUpdating());
    EXPECT_EQ(model().errorMessage(), QStringLiteral("The update could not be installed."));
    EXPECT_TRUE(model().availableUpdate());
}

TEST_F(UpdatePromptTest, ACheckFinishingAfterTheModelIsGoneDoesNothing)
{
    QPromise<std::optional<UpdateInfo>> pending;
    pending.start();
    UpdateServices services;
    services.check = [&](const QUrl&, const QString&) { return pending.future(); };
    model().setUpdateServices(services);
    settle();
    destroyModel();
    pending.addResult(offer(QStringLiteral("3.0")));
    pending.finish();
    settle();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
}
