#pragma once

// Shared pieces of the model tests: a model driven as the window drives it, fake
// dialogs, a scriptable stand-in for the engine, and PDFs made on the spot.

#include "app/app_model.h"
#include "tests/support/pdf_builder.h"
#include "tests/support/test_env.h"

#include <QSignalSpy>

#include <memory>
#include <string>

namespace inkveil::test {

// Answers the model's dialogs from a script and remembers what was asked.
class FakeDialogs : public ModelDialogs {
public:
    struct Request {
        QString title;
        QString prompt;
        std::optional<QString> startFolder;
    };

    QStringList inputsAnswer;              // empty: the user cancels
    std::optional<QString> folderAnswer;   // nothing: the user cancels
    QList<Request> inputRequests;
    QList<Request> folderRequests;
    QList<QStringList> revealed;

    QStringList chooseInputs(const QString& title, const QString& prompt) override;
    std::optional<QString> chooseOutputFolder(const QString& title, const QString& prompt,
                                              const std::optional<QString>& startFolder) override;
    void revealOutputs(const QStringList& files) override;
};

// A temporary folder, an environment without the model's variables, and a model
// on demand (so a test can set the environment first).
class ModelTest : public TempDirTest {
public:
    AppModel& model();
    void destroyModel();

    // A path in the temporary folder.
    QString file(const QString& name) const { return path(name); }

    // A PDF with one line of text per page ("<text> <n>" at the top left).
    QString pdf(const QString& name, int pages = 1, const std::string& text = "Page");
    // Bytes that are not a PDF at all, under a PDF name.
    QString notPdf(const QString& name);
    // The head of a real PDF: no page tree survives.
    QString truncatedPdf(const QString& name);
    QString zeroPagePdf(const QString& name);
    // A PDF that needs a user password; skips the test without qpdf.
    QString encryptedPdf(const QString& name);
    QString subdir(const QString& name);

    // Waits (running the event loop) until the run's outcome is applied.
    bool waitForRunEnd(int timeoutMs = 120000);

    FakeDialogs dialogs;

protected:
    void SetUp() override;
    void TearDown() override;

private:
    std::unique_ptr<AppModel> m_model;
};

// A stand-in for the engine's redact: writes a small file named as the engine
// would and reports every page; the region count is the plan's.
RedactionResult fakeRedact(const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::PageProgress& progress, int pages = 1);

// Polls until shouldCancel is true (at most 30 s); false on time-out.
bool waitForCancel(const InkveilEngine::CancelCheck& shouldCancel);

// Counts emissions of one change signal.
class Emissions {
public:
    template <typename Signal>
    Emissions(AppModel& model, Signal signal) : m_spy(&model, signal) {}
    qsizetype count() const { return m_spy.count(); }
    void clear() { m_spy.clear(); }

private:
    QSignalSpy m_spy;
};

} // namespace inkveil::test
