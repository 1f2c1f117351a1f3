#pragma once

// The real window, driven as a user drives it: fake dialogs, a stand-in for the
// engine where a run must be held, PDFs made on the spot, synthesized input.

#include "app/app_model.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"
#include "ui/inkveil_app.h"

#include <QObject>
#include <QPointF>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace inkveil {
class ContentView;
class ControlsPane;
class FilesPane;
class PageCanvas;
class PreviewPane;
} // namespace inkveil

namespace inkveil::test {

// Answers the model's dialogs from a script and remembers what was asked.
class FakeDialogs : public ModelDialogs {
public:
    QStringList inputsAnswer;            // empty: the user cancels
    std::optional<QString> folderAnswer; // nothing: the user cancels
    int inputRequests = 0;
    int folderRequests = 0;
    QList<QStringList> revealed;

    QStringList chooseInputs(const QString&, const QString&) override;
    std::optional<QString> chooseOutputFolder(const QString&, const QString&, const std::optional<QString>&) override;
    void revealOutputs(const QStringList& files) override { revealed.append(files); }

    // Alerts: what was asked, and the answer to give (-1: none, as when dismissed).
    QStringList alerts;
    int alertAnswer = -1;
    void showAlert(const QString& message, const QString&) override { alerts.append(message); }
    int askAlert(const QString& message, const QString&, const QStringList&) override
    {
        alerts.append(message);
        return alertAnswer;
    }
};

// An engine stand-in whose documents each wait until let through or cancelled.
class HeldRedactor {
public:
    Redactor redactor();
    // Lets the next waiting (or next arriving) document finish.
    void releaseOne() { ++*m_allowed; }
    void releaseAll() { *m_allowed = 1 << 20; }
    // How many documents have started.
    int started() const { return *m_started; }

private:
    std::shared_ptr<std::atomic<int>> m_allowed = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<int>> m_started = std::make_shared<std::atomic<int>>(0);
};

class WindowTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Made and shown on first use, so a test may set the environment first.
    InkveilApp& app();
    // Made but not yet shown.
    InkveilApp& hiddenApp();
    void focusCanvas();
    AppModel& model() { return app().model(); }
    ContentView& content();
    FilesPane& files();
    PreviewPane& preview();
    PageCanvas& canvas();
    ControlsPane& controls();

    // A PDF with one line of text per page ("<text> <n>" near the top left).
    QString pdf(const QString& name, int pages = 1, const std::string& text = "Page");
    QString folder(const QString& name);
    // Adds documents as the open dialog would.
    void add(const QStringList& paths) { model().add(paths); }

    // Runs the event loop until the run's outcome is applied.
    bool waitForRunEnd(int timeoutMs = 120000);
    // Selects a page and waits for the window to show it.
    void settle();

    FakeDialogs dialogs;

private:
    std::unique_ptr<InkveilApp> m_app;
    bool m_shown = false;
};

// Catches the web addresses the application opens.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

// ---- Synthesized input -----------------------------------------------------

// Presses the left button at `from`, moves through `path` and releases at the
// last point, with sub-point positions, as a pointer would.
void drag(QWidget* widget, const QPointF& from, const QList<QPointF>& path);
// A press, moves and no release; for Escape.
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
