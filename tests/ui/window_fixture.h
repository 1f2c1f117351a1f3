#pragma once

// The real window, driven as a user drives it: fake dialogs, a stand-in for the
// engine where a run must be held, PDFs made on the spot, synthesized input.

#include "app/app_model.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"
#include "ui/content_view.h"
#include "ui/inkveil_app.h"
#include "ui/main_window.h"
#include "ui/elided_label.h"
#include "ui/page_canvas.h"
#include "ui/preview_pane.h"

#include <QPointF>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace inkveil::test {

// Answers the model's dialogs from a script and remembers what was asked.
class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> folderAnswer; // nothing: the user cancels
    QList<QStringList> revealed;
    QStringList alerts; // what was asked; every alert is dismissed

    QStringList chooseInputs(const QString&, const QString&) override { return {}; }
    std::optional<QString> chooseOutputFolder(const QString&, const QString&, const std::optional<QString>&) override
    {
        return folderAnswer;
    }
    void revealOutputs(const QStringList& files) override { revealed.append(files); }
    void showAlert(const QString& message, const QString&) override { alerts.append(message); }
    int askAlert(const QString& message, const QString&, const QStringList&) override
    {
        alerts.append(message);
        return -1;
    }
};

// An engine stand-in whose documents each wait until let through or cancelled.
class HeldRedactor {
public:
    Redactor redactor();
    // Lets the next waiting (or next arriving) document finish.
    void releaseOne() { ++*m_allowed; }
    void releaseAll() { *m_allowed = 1 << 20; }
    int started() const { return *m_started; }

private:
    std::shared_ptr<std::atomic<int>> m_allowed = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> m_started = std::make_shared<std::atomic<int>>(0);
};

class WindowTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Made and shown on first use; hiddenApp() makes it without showing it.
    InkveilApp& app();
    InkveilApp& hiddenApp();
    AppModel& model() { return app().model(); }
    ContentView& content() { return *app().window().content(); }
    FilesPane& files() { return *content().filesPane(); }
    PreviewPane& preview() { return *content().previewPane(); }
    PageCanvas& canvas() { return *preview().canvas(); }
    ControlsPane& controls() { return *content().controlsPane(); }

    // A PDF with one line of text per page ("<text> <n>" near the top left).
    QString pdf(const QString& name, int pages = 1, const std::string& text = "Page");
    QString folder(const QString& name);
    // Adds and waits for the first page to be drawn.
    void add(const QStringList& paths)
    {
        model().add(paths);
        settle();
    }
    bool waitForRunEnd() { return QTest::qWaitFor([this] { return !model().isRedacting(); }, 120000); }
    // Lets the window catch up with the model, and the model with its
    // background drawing and searching.
    void settle();

    FakeDialogs dialogs;

private:
    std::unique_ptr<InkveilApp> m_app;
    bool m_shown = false;
};

// ---- Synthesized input -----------------------------------------------------

// The left button pressed at `from`, moved through `path` (sub-point positions,
// as a pointer gives) and, for drag, released at the last point.
void drag(QWidget* widget, const QPointF& from, const QList<QPointF>& path);
void pressAndMove(QWidget* widget, const QPointF& from, const QList<QPointF>& path);
void moveHeld(QWidget* widget, const QPointF& to);
void release(QWidget* widget, const QPointF& at);

// Clicks the button with this text on the next modal alert, once it is shown,
// after looking at it. Call before the action that shows it.
void answerNextAlert(const QString& buttonText, std::function<void(QMessageBox&)> inspect = {});
// Chooses this item of the next popup menu, once it is shown.
void chooseNextMenuItem(const QString& itemText);

// A file drag over a widget: enter, then drop (or leave).
void dragFilesOver(QWidget* target, const QStringList& files);
void dropFiles(QWidget* target, const QStringList& files);
void leaveWithFiles(QWidget* target);

} // namespace inkveil::test
