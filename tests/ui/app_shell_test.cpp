// The shell: documents opened from the desktop, the one-second repeat window,
// quitting during a run, the menus and their shortcuts, the settings window,
// and later launches handing their files over.

#include "tests/ui/window_fixture.h"

#include "app/mark_history.h"
#include "ui/app_commands.h"
#include "ui/inkveil_delegate.h"
#include "ui/main_window.h"
#include "ui/open_with_channel.h"
#include "ui/preview_pane.h"
#include "ui/settings_view.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <thread>

namespace inkveil::test {
namespace {

// ---- Opened documents ------------------------------------------------------

class DelegateTest : public WindowTest {};

TEST_F(DelegateTest, DocumentsOpenedBeforeTheWindowShowsWaitAndAreThenAdded)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    InkveilDelegate& delegate = hiddenApp().delegate();
    delegate.openFiles({file});
    EXPECT_EQ(delegate.pending(), QStringList{file});
    EXPECT_TRUE(hiddenApp().model().inputs().isEmpty());

    app(); // the window shows and hands over the model
    EXPECT_TRUE(delegate.pending().isEmpty());
    ASSERT_EQ(model().inputs().size(), 1);
    EXPECT_EQ(model().selection(), model().inputs().front().id);
}

TEST_F(DelegateTest, OneOpeningDeliveredTwiceWithinASecondReachesTheModelOnce)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    InkveilDelegate& delegate = app().delegate();
    delegate.openURLs({QUrl::fromLocalFile(file)});
    ASSERT_EQ(model().inputs().size(), 1);
    model().removeAll();

    delegate.openFiles({file});
    EXPECT_TRUE(delegate.openFile(file));
    EXPECT_TRUE(model().inputs().isEmpty()) << "repeats within the second are dropped";

    QTest::qWait(static_cast<int>(InkveilDelegate::kRepeatWindow.count()) + 200);
    delegate.openFiles({file});
    EXPECT_EQ(model().inputs().size(), 1) << "after the second the same file is opened again";
}

TEST_F(DelegateTest, APathWithDotsAndItsPlainFormAreOneLocation)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    InkveilDelegate delegate;
    delegate.openFiles({dir() + QStringLiteral("/./sub/../a.pdf"), file});
    EXPECT_EQ(delegate.pending(), QStringList{file});
}

TEST_F(DelegateTest, OpeningAnythingIsAcceptedAndTheModelReportsWhatItCannotRead)
{
    const QString text = path(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    EXPECT_TRUE(app().delegate().openFile(text));
    EXPECT_EQ(model().errorMessage(), QStringLiteral("No readable PDF documents were found."));
}

// ---- Quitting --------------------------------------------------------------

class QuitTest : public WindowTest {
protected:
    void startHeldRun()
    {
        add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"))});
        for (const RedactInput& input : model().inputs()) {
            model().setSelection(input.id);
            model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
        }
        out = folder(QStringLiteral("out"));
        model().setOutputFolder(out);
        model().setRedactor(held.redactor());
        model().redact();
        ASSERT_TRUE(model().isRedacting());
    }

    HeldRedactor held;
    QString out;
};

TEST_F(QuitTest, WithoutARunTheWindowClosesAtOnce)
{
    app();
    EXPECT_TRUE(app().window().close());
}

TEST_F(QuitTest, ContinueRedactingKeepsTheApplicationAndTheRunGoing)
{
    startHeldRun();
    answerNextAlert(InkveilDelegate::kContinueButton);
    EXPECT_FALSE(app().window().close());
    EXPECT_TRUE(app().window().isVisible());
    EXPECT_TRUE(model().isRedacting());
    held.releaseAll();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(model().outputs().size(), 2);
}

TEST_F(QuitTest, StopAndQuitEndsTheRunAndRemovesItsOutputsBeforeClosing)
{
    startHeldRun();
    // The first document is written; the second is still being worked on.
    held.releaseOne();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.started() == 2; }, 10000));
    ASSERT_EQ(QDir(out).entryList(QDir::Files).size(), 1);
    answerNextAlert(InkveilDelegate::kStopButton);
    EXPECT_TRUE(app().window().close());
    EXPECT_FALSE(model().isRedacting()) << "the run has ended before the window went";
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Redaction cancelled. No output was saved."));
}

TEST_F(QuitTest, TheAlertExplainsWhatQuittingDoes)
{
    startHeldRun();
    QString text;
    QString informative;
    QString defaultButton;
    answerNextAlert(InkveilDelegate::kContinueButton, [&](QMessageBox& box) {
        text = box.text();
        informative = box.informativeText();
        defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
    });
    app().window().close();
    EXPECT_EQ(text, QStringLiteral("Redaction is still in progress"));
    EXPECT_EQ(informative, QStringLiteral("Quitting now stops the operation. Originals remain unchanged and incomplete "
                                          "output is removed."));
    EXPECT_EQ(defaultButton, InkveilDelegate::kContinueButton);
}

// ---- Menus and shortcuts ---------------------------------------------------

class CommandsTest : public WindowTest {
protected:
    AppCommands& commands() { return app().commands(); }
    void press(const QKeySequence& keys) { QTest::keySequence(&app().window(), keys); }
};

TEST_F(CommandsTest, CommandsAreEnabledOnlyWhenTheyCanAct)
{
    EXPECT_TRUE(commands().addInputs()->isEnabled());
    EXPECT_FALSE(commands().removeSelected()->isEnabled());
    EXPECT_FALSE(commands().removeAll()->isEnabled());
    EXPECT_FALSE(commands().redact()->isEnabled());
    EXPECT_TRUE(commands().feedback()->isEnabled());
    EXPECT_TRUE(commands().checkForUpdates()->isEnabled());

    add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    EXPECT_TRUE(commands().removeSelected()->isEnabled());
    EXPECT_TRUE(commands().removeAll()->isEnabled());
    EXPECT_TRUE(commands().redact()->isEnabled());

    HeldRedactor held;
    model().setRedactor(held.redactor());
    model().setOutputFolder(folder(QStringLiteral("out")));
    model().redact();
    for (QAction* action : {commands().addInputs(), commands().removeSelected(), commands().removeAll(), commands().redact()})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(commands().redact()->isEnabled());
}

TEST_F(CommandsTest, MenuTextsAndShortcuts)
{
    const std::pair<QAction*, const char16_t*> texts[] = {
        {commands().addInputs(), u"Add PDFs or Folders\u2026"}, {commands().removeSelected(), u"Remove Selected"},
        {commands().removeAll(), u"Remove All"},                {commands().redact(), u"Redact\u2026"},
        {commands().feedback(), u"Inkveil Feedback\u2026"},    {commands().about(), u"About Inkveil"},
        {commands().checkForUpdates(), u"Check for Updates\u2026"}};
    for (const auto& [action, text] : texts)
        EXPECT_EQ(action->text(), QString::fromUtf16(text));
    EXPECT_EQ(commands().addInputs()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(commands().removeSelected()->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(commands().redact()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_FALSE(commands().updateTo()->isVisible()) << "no update is offered";
}

TEST_F(CommandsTest, DeleteRemovesTheSelectedDocumentAndCtrlERedacts)
{
    add({pdf(QStringLiteral("a.pdf")), pdf(QStringLiteral("b.pdf"))});
    app().window().activateWindow();
    focusCanvas();
    press(QKeySequence(Qt::Key_Delete));
    ASSERT_EQ(model().inputs().size(), 1);
    EXPECT_TRUE(model().inputs().front().url.endsWith(QStringLiteral("b.pdf")));

    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    dialogs.folderAnswer = std::nullopt; // the folder dialog is cancelled: nothing starts
    press(QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_EQ(dialogs.folderRequests, 1);
    EXPECT_FALSE(model().isRedacting());
}

TEST_F(CommandsTest, UndoAndRedoStepThroughTheSelectedDocumentsMarkChanges)
{
    add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    QCoreApplication::processEvents();
    model().addMark(Rect{0.5, 0.5, 0.3, 0.3});
    QCoreApplication::processEvents();
    focusCanvas();
    EXPECT_TRUE(commands().undo()->isEnabled());
    EXPECT_FALSE(commands().redo()->isEnabled());

    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(model().selectedMarks().size(), 1);
    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_TRUE(model().selectedMarks().isEmpty());
    EXPECT_FALSE(commands().undo()->isEnabled());
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(model().selectedMarks().size(), 1);
    EXPECT_TRUE(commands().redo()->isEnabled());
}

TEST_F(CommandsTest, ZoomShortcutsZoomThePageAndCtrl0FitsItAgain)
{
    add({pdf(QStringLiteral("a.pdf"))});
    focusCanvas();
    press(QKeySequence(Qt::CTRL | Qt::Key_Equal));
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.25);
    press(QKeySequence(Qt::CTRL | Qt::Key_Plus));
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.5);
    press(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.25);
    press(QKeySequence(Qt::CTRL | Qt::Key_0));
    EXPECT_DOUBLE_EQ(preview().zoom(), 1.0);
}

TEST_F(CommandsTest, HelpOpensFeedbackAndAboutShowsTheVersionWithItsLinks)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    commands().feedback()->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), model().feedbackURL());

    commands().about()->trigger();
    SettingsView& settings = app().settings();
    EXPECT_TRUE(settings.isVisible());
    EXPECT_EQ(settings.width(), 460);
    EXPECT_EQ(settings.versionLabel()->text(), QStringLiteral("Mervo Inkveil ") + model().version());
    EXPECT_TRUE(settings.feedbackLink()->text().contains(QStringLiteral(">Send feedback<")));
    EXPECT_TRUE(settings.websiteLink()->text().contains(QStringLiteral(">Website<")));
}

TEST_F(CommandsTest, AnOfferedUpdateGetsItsOwnMenuItemWhichOffersItAgain)
{
    UpdateServices services;
    services.check = [](const QUrl&, const QString&) {
        return QtFuture::makeReadyFuture(
            std::optional<UpdateInfo>(UpdateInfo{QStringLiteral("2.1"), QUrl(QStringLiteral("https://u.example/a.zip")), {}}));
    };
    model().setUpdateServices(services);
    EXPECT_FALSE(commands().updateTo()->isVisible());

    commands().checkForUpdates()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return commands().updateTo()->isVisible(); }, 5000));
    EXPECT_EQ(commands().updateTo()->text(), QStringLiteral("Update to 2.1\u2026"));
    EXPECT_EQ(dialogs.alerts, QStringList{QStringLiteral("A new version of Mervo Inkveil is available")});

    commands().updateTo()->trigger();
    EXPECT_EQ(dialogs.alerts.size(), 2);
}

// ---- Later launches --------------------------------------------------------

TEST(OpenWith, CommandLineArgumentsBecomeAbsolutePaths)
{
    const QStringList files = OpenWith::filesFromArguments(
        {QStringLiteral("a.pdf"), QStringLiteral("--some-option"), QStringLiteral("/x/./y/../b.pdf"),
         QStringLiteral("file:///tmp/c%20d.pdf"), QStringLiteral("--"), QStringLiteral("-dash.pdf")},
        QStringLiteral("/home/u"));
    EXPECT_EQ(files, (QStringList{QStringLiteral("/home/u/a.pdf"), QStringLiteral("/x/b.pdf"), QStringLiteral("/tmp/c d.pdf"),
                                  QStringLiteral("/home/u/-dash.pdf")}));
}

TEST_F(DelegateTest, ALaterLaunchHandsItsFilesToTheRunningWindow)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    const QString name = path(QStringLiteral("open.sock"));
    OpenWith::Server server;
    ASSERT_TRUE(server.listen(name));
    QObject::connect(&server, &OpenWith::Server::filesOpened, &app(), &InkveilApp::open);

    bool forwarded = false;
    std::thread later([&] { forwarded = OpenWith::forward(name, {file}); });
    ASSERT_TRUE(QTest::qWaitFor([this] { return !model().inputs().isEmpty(); }, 10000));
    later.join();
    EXPECT_TRUE(forwarded);
    EXPECT_EQ(model().inputs().front().url, file);

    EXPECT_FALSE(OpenWith::forward(path(QStringLiteral("nobody.sock")), {file})) << "no instance: start normally";
}

TEST(OpenWith, ASocketLeftByAVanishedInstanceIsTakenOver)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("open.sock"));
    {
        OpenWith::Server first;
        ASSERT_TRUE(first.listen(name));
    }
    QFile stale(name);
    stale.open(QIODevice::WriteOnly); // a leftover file under the name
    stale.close();
    OpenWith::Server second;
    EXPECT_TRUE(second.listen(name));
}

} // namespace
} // namespace inkveil::test
