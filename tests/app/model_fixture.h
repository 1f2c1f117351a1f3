#pragma once

// Shared pieces of the model tests: a model driven as the window drives it, fake
// dialogs, a stand-in for the engine, and PDFs made on the spot.

#include "app/app_model.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QSignalSpy>

#include <atomic>
#include <memory>
#include <string>

namespace inkveil::test {

// Answers the model's dialogs from a script and counts what was asked.
class FakeDialogs : public ModelDialogs {
public:
    std::optional<QString> folderAnswer; // nothing: the user cancels
    int folderAsks = 0;
    QStringList alerts;                  // "message/informative[/buttons]" of each alert shown
    int alertAnswer = 1;                 // index of the button chosen in askAlert

    QStringList chooseInputs(const QString&, const QString&) override { return {}; }
    std::optional<QString> chooseOutputFolder(const QString&, const QString&, const std::optional<QString>&) override
    {
        ++folderAsks;
        return folderAnswer;
    }
    void revealOutputs(const QStringList&) override {}
    void showAlert(const QString& message, const QString& informative) override
    {
        alerts.append(message + u'/' + informative);
    }
    int askAlert(const QString& message, const QString& informative, const QStringList& buttons) override
    {
        alerts.append(message + u'/' + informative + u'/' + buttons.join(u'|'));
        return alertAnswer;
    }
};

// A temporary folder, an environment without the model's variables, and a model
// made on first use (so a test can set the environment first).
class ModelTest : public TempDirTest {
public:
    AppModel& model();
    void destroyModel() { m_model.reset(); }

    QString file(const QString& name) const { return path(name); }
    // One line of text per page: "<text> <n>".
    QString pdf(const QString& name, int pages = 1, const std::string& text = "Page");
    QString notPdf(const QString& name);
    QString zeroPagePdf(const QString& name) { return PdfBuilder().write(path(name)); }
    QString subdir(const QString& name);

    // Runs the event loop until the run's outcome is applied.
    bool waitForRunEnd();
    // Runs the event loop until the preview is drawn (or found undrawable).
    bool waitForPreview();
    // Runs the event loop until the search ended.
    bool waitForSearch();

    FakeDialogs dialogs;
    // What the stand-in update check finds; the real check never runs in tests.
    std::optional<UpdateInfo> manifestOffer;
    bool manifestUnverified = false;
    int updateChecks = 0;

protected:
    void SetUp() override;
    void TearDown() override { destroyModel(); }

private:
    std::unique_ptr<AppModel> m_model;
};

// A stand-in for the engine: writes a small file named as the engine names its
// outputs, reports its one page, and counts the plan's regions.
RedactionResult fakeRedact(const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::PageProgress& progress);
// fakeRedact for every file, except `special` instead for the file named `name`.
Redactor fakeEngine(const QString& name = {}, Redactor special = {});

// Polls until done is true, without running the event loop; false after 30 s.
bool pollFor30s(const InkveilEngine::CancelCheck& done);
inline bool spinUntil(const std::atomic<bool>& flag)
{
    return pollFor30s([&flag] { return flag.load(); });
}

} // namespace inkveil::test
