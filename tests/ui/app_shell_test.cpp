// The shell: documents opened from the desktop, the one-second repeat window,
// quitting during a run, which commands can act, and later launches handing
// their files over.

#include "tests/ui/window_fixture.h"

#include "ui/app_commands.h"
#include "ui/controls_pane.h"
#include "ui/files_pane.h"
#include "ui/inkveil_delegate.h"
#include "ui/open_with_channel.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>

#include <thread>

namespace inkveil::test {
namespace {

// ---- Opened documents ------------------------------------------------------

class DelegateTest : public WindowTest {};

TEST_F(DelegateTest, DocumentsOpenedBeforeTheWindowShowsWaitAndAreThenAdded)
{
    const QString file = pdf(QStringLiteral("a.pdf"));
    InkveilDelegate& delegate = hiddenApp().delegate();
    // A path with dots and its plain form are one location.
    delegate.openFiles({dir() + QStringLiteral("/./sub/../a.pdf"), file});
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

TEST_F(QuitTest, ContinueRedactingKeepsTheApplicationAndTheRunGoing)
{
    startHeldRun();
    QString text, informative, defaultButton;
    answerNextAlert(InkveilDelegate::kContinueButton, [&](QMessageBox& box) {
        text = box.text();
        informative = box.informativeText();
        defaultButton = box.defaultButton() ? box.defaultButton()->text() : QString();
    });
    EXPECT_FALSE(app().window().close());
    EXPECT_EQ(text, QStringLiteral("Redaction is still in progress"));
    EXPECT_EQ(informative, QStringLiteral("Quitting now stops the operation. Originals remain unchanged and incomplete "
                                          "output is removed."));
    EXPECT_EQ(defaultButton, InkveilDelegate::kContinueButton);
    EXPECT_TRUE(app().window().isVisible());
    EXPECT_TRUE(model().isRedacting());

    held.releaseAll();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(model().outputs().size(), 2);
    EXPECT_TRUE(app().window().close()) << "without a run the window closes at once";
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

// ---- Commands --------------------------------------------------------------

class CommandsTest : public WindowTest {};

TEST_F(CommandsTest, CommandsAreEnabledOnlyWhenTheyCanAct)
{
    AppCommands& commands = app().commands();
    EXPECT_TRUE(commands.addInputs()->isEnabled());
    for (QAction* action : {commands.removeSelected(), commands.removeAll(), commands.redact(), commands.undo()})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();

    add({pdf(QStringLiteral("a.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    QCoreApplication::processEvents();
    model().addMark(Rect{0.5, 0.5, 0.3, 0.3});
    QCoreApplication::processEvents();
    for (QAction* action : {commands.removeSelected(), commands.removeAll(), commands.redact(), commands.undo()})
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();

    // Undo and redo step through the selected document's mark changes.
    EXPECT_FALSE(commands.redo()->isEnabled());
    commands.undo()->trigger();
    EXPECT_EQ(model().selectedMarks().size(), 1);
    commands.undo()->trigger();
    EXPECT_TRUE(model().selectedMarks().isEmpty());
    EXPECT_FALSE(commands.undo()->isEnabled());
    commands.redo()->trigger();
    EXPECT_EQ(model().selectedMarks().size(), 1);
    EXPECT_TRUE(commands.redo()->isEnabled());

    HeldRedactor held;
    model().setRedactor(held.redactor());
    model().setOutputFolder(folder(QStringLiteral("out")));
    model().redact();
    for (QAction* action : {commands.addInputs(), commands.removeSelected(), commands.removeAll(), commands.redact()})
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_TRUE(commands.redact()->isEnabled());
}

// Window keys work wherever the focus is, unless the focused field has a
// meaning of its own for the key; Delete removes a document only in the list.
TEST_F(CommandsTest, KeysReachTheWindowWhateverHasFocusAndDeleteOnlyTheFilesList)
{
    add({pdf(QStringLiteral("a.pdf"), 3), pdf(QStringLiteral("b.pdf"))});
    model().addMark(Rect{0.1, 0.1, 0.3, 0.3});
    settle();
    app().window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&app().window()));
    QLineEdit* field = controls().searchField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("ab"));

    struct Step {
        QWidget* target;
        QKeyCombination key;
        std::function<bool()> expected;
        const char* what;
    };
    QListWidget* list = files().list();
    const Step steps[] = {
        {field, QKeyCombination(Qt::Key_Backspace), [&] { return field->text() == QStringLiteral("a") && model().inputs().size() == 2; }, "Backspace edits the field"},
        {field, QKeyCombination(Qt::ControlModifier, Qt::Key_Z), [&] { return field->text() == QStringLiteral("ab") && model().selectedMarks().size() == 1; }, "the field's own undo"},
        {field, QKeyCombination(Qt::Key_PageDown), [&] { return model().currentPage() == 1; }, "Page Down turns the page"},
        {&canvas(), QKeyCombination(Qt::Key_Delete), [&] { return model().inputs().size() == 2; }, "Delete on the page keeps the document"},
        {list, QKeyCombination(Qt::Key_Delete), [&] { return model().inputs().size() == 1; }, "Delete in the list removes the document"},
        {field, QKeyCombination(Qt::ControlModifier, Qt::Key_Z), [&] { return model().inputs().size() == 2 && model().selectedMarks().size() == 1; }, "undo puts it back with its marks"},
        {field, QKeyCombination(Qt::Key_Return), [&] { return canvas().hasFocus() && model().selectedMarks().size() == 4; }, "Return searches and hands the keys back to the page"},
    };
    for (const Step& step : steps) {
        if (step.target == field && step.key.key() == Qt::Key_PageDown)
            field->setText(QStringLiteral("x")); // no edits left to undo
        if (step.key.key() == Qt::Key_Return) {
            field->selectAll();
            QTest::keyClicks(field, QStringLiteral("Page"));
        }
        step.target->setFocus();
        QTest::keyClick(step.target, step.key.key(), step.key.keyboardModifiers());
        settle();
        EXPECT_TRUE(step.expected()) << step.what;
    }

    // With nothing to undo in the field, Ctrl+Z undoes the last mark; Ctrl+E redacts.
    field->setFocus();
    field->setText(QString());
    model().addMark(Rect{0.5, 0.5, 0.2, 0.2});
    settle();
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model().selectedMarks().size(), 4);
    HeldRedactor held;
    model().setRedactor(held.redactor());
    model().setOutputFolder(folder(QStringLiteral("out")));
    QTest::keyClick(field, Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(model().isRedacting());
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());
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
