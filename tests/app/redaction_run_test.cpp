#include "tests/app/model_fixture.h"

#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using namespace inkveil;
using namespace inkveil::test;
using InkveilEngine::CancelCheck;
using InkveilEngine::PageProgress;

namespace {

QString nameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

// Spins without running the event loop, so nothing queued is applied meanwhile.
bool spinUntil(const std::atomic<bool>& flag)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

class RunTest : public ModelTest {
protected:
    // Adds the named documents, each with `marks` marks (one per page 0 area).
    void addReady(const QStringList& names, int marks = 1, int pages = 1)
    {
        for (const QString& name : names) {
            model().add({pdf(name, pages)});
            model().setSelection(model().inputs().back().id);
            for (int i = 0; i < marks; ++i)
                model().addMark(Rect{0.1 * i, 0.1, 0.05, 0.05});
        }
    }
    QString useOutputFolder()
    {
        m_out = subdir(QStringLiteral("out"));
        model().setOutputFolder(m_out);
        return m_out;
    }
    QStringList written() const
    {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QString m_out;
};

// ---- Before a run starts --------------------------------------------------

TEST_F(RunTest, WithoutReadyInputNothingStarts)
{
    model().add({pdf(QStringLiteral("a.pdf"))});
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 0 PDFs"));
    EXPECT_FALSE(model().canRedact());

    model().redact();

    EXPECT_FALSE(model().isRedacting());
    EXPECT_TRUE(dialogs.folderRequests.isEmpty());
    EXPECT_FALSE(model().errorMessage());
    EXPECT_EQ(model().progress(), 0.0);
}

TEST_F(RunTest, WithoutAFolderTheUserIsAskedFirst)
{
    addReady({QStringLiteral("a.pdf")});
    std::atomic<int> calls{0};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        ++calls;
        return fakeRedact(s, d, p, progress);
    });

    model().redact(); // cancelled
    ASSERT_EQ(dialogs.folderRequests.size(), 1);
    EXPECT_EQ(dialogs.folderRequests.front().title, QStringLiteral("Choose Output Folder"));
    EXPECT_EQ(dialogs.folderRequests.front().prompt, QStringLiteral("Choose"));
    EXPECT_FALSE(dialogs.folderRequests.front().startFolder);
    EXPECT_FALSE(model().isRedacting());
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().outputFolder());

    const QString out = subdir(QStringLiteral("chosen"));
    dialogs.folderAnswer = out;
    model().redact();
    EXPECT_EQ(model().outputFolder(), out);
    EXPECT_TRUE(model().isRedacting());
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(calls.load(), 1);

    // Later choices start where the last one ended.
    EXPECT_TRUE(model().chooseOutputFolder());
    EXPECT_EQ(dialogs.folderRequests.back().startFolder, out);
}

struct Destination {
    const char* name;
    std::function<QString(ModelTest&)> make;
};

inline void PrintTo(const Destination& value, std::ostream* out) { *out << value.name; }

class UnwritableDestinationTest : public RunTest, public ::testing::WithParamInterface<Destination> {};

TEST_P(UnwritableDestinationTest, IsRefusedBeforeAnythingRuns)
{
    const QString folder = GetParam().make(*this);
    if (folder.isEmpty())
        GTEST_SKIP() << "permissions do not bind this user";
    addReady({QStringLiteral("a.pdf")});
    model().setOutputFolder(folder);

    model().redact();

    EXPECT_EQ(model().errorMessage(), QStringLiteral("The selected destination is not writable."));
    EXPECT_FALSE(model().isRedacting());
    EXPECT_EQ(model().outputFolder(), folder);
    EXPECT_EQ(model().progress(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnwritableDestinationTest,
    ::testing::Values(Destination{"missing", [](ModelTest& t) { return t.file(QStringLiteral("nowhere/deeper")); }},
                      Destination{"aFile", [](ModelTest& t) { return t.notPdf(QStringLiteral("file-not-folder")); }},
                      Destination{"readOnly",
                                  [](ModelTest& t) {
                                      if (::geteuid() == 0)
                                          return QString();
                                      const QString folder = t.subdir(QStringLiteral("locked"));
                                      QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
                                      return folder;
                                  }}),
    [](const ::testing::TestParamInfo<Destination>& info) { return std::string(info.param.name); });

// ---- Outcomes ----------------------------------------------------------------

TEST_F(RunTest, SuccessReportsDocumentsAndRedactions)
{
    addReady({QStringLiteral("a.pdf")}, 4);
    addReady({QStringLiteral("b.pdf")}, 3);
    model().add({pdf(QStringLiteral("c.pdf"))}); // not ready: not processed
    useOutputFolder();
    model().setErrorMessage(QStringLiteral("an earlier problem"));
    model().setRedactor([](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                           const PageProgress& progress) { return fakeRedact(s, d, p, progress); });
    EXPECT_EQ(model().actionTitle(), QStringLiteral("Redact 2 PDFs"));

    model().redact();
    EXPECT_TRUE(model().isRedacting());
    EXPECT_FALSE(model().canRedact());
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().resultMessage(), QStringLiteral("Verified 2 PDFs with 7 permanent redactions."));
    EXPECT_EQ(model().errorMessage(), QStringLiteral("an earlier problem"));
    EXPECT_EQ(model().progress(), 1.0);
    EXPECT_TRUE(model().progressText().isEmpty());
    ASSERT_EQ(model().outputs().size(), 2);
    EXPECT_EQ(nameOf(model().outputs().at(0)), QStringLiteral("a \u2014 Redacted.pdf"));
    EXPECT_EQ(nameOf(model().outputs().at(1)), QStringLiteral("b \u2014 Redacted.pdf"));

    model().revealOutputs();
    ASSERT_EQ(dialogs.revealed.size(), 1);
    EXPECT_EQ(dialogs.revealed.front(), model().outputs());
}

TEST_F(RunTest, OneDocumentWithOneAreaIsCountedInTheSingular)
{
    addReady({QStringLiteral("a.pdf")});
    useOutputFolder();
    model().setRedactor([](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                           const PageProgress& progress) { return fakeRedact(s, d, p, progress); });
    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Verified 1 PDF with 1 permanent redaction."));
}

struct Failure {
    const char* name;
    std::function<void()> raise;
    QString message;
};

inline void PrintTo(const Failure& value, std::ostream* out) { *out << value.name; }

class FailingRunTest : public RunTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(FailingRunTest, LeavesNoOutputAndReportsTheFailure)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("c.pdf")});
    useOutputFolder();
    std::atomic<bool> thirdCalled{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        if (nameOf(s) == QStringLiteral("b.pdf"))
            GetParam().raise();
        if (nameOf(s) == QStringLiteral("c.pdf"))
            thirdCalled = true;
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().errorMessage(), GetParam().message);
    EXPECT_FALSE(model().resultMessage());
    EXPECT_TRUE(model().outputs().isEmpty());
    EXPECT_TRUE(written().isEmpty()) << written().join(u',').toStdString();
    EXPECT_FALSE(thirdCalled.load());
    EXPECT_EQ(model().progress(), 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailingRunTest,
    ::testing::Values(
        Failure{"engine", [] { throw InkveilError::unreadable(QStringLiteral("/x/b.pdf")); },
                QStringLiteral("Could not read b.pdf.")},
        Failure{"verification",
                [] { throw InkveilError::verificationFailed(Reason::textSelectable); },
                QStringLiteral("The redacted PDF could not be verified: redacted text remains selectable")},
        Failure{"fileSystem", [] { throw FileError(QStringLiteral("/x"), QStringLiteral("No space left on device")); },
                QStringLiteral("No space left on device")},
        Failure{"other", [] { throw std::runtime_error("out of luck"); }, QStringLiteral("out of luck")},
        Failure{"unknown", [] { throw 42; }, ModelMessages::unexpectedFailure}),
    [](const ::testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });

// ---- Cancellation ------------------------------------------------------------

enum class CancelPoint { betweenDocuments, inEngine, betweenPages };

class CancelledRunTest : public RunTest, public ::testing::WithParamInterface<CancelPoint> {};

TEST_P(CancelledRunTest, RemovesEveryOutputOfTheRun)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("c.pdf")});
    useOutputFolder();
    std::atomic<bool> reached{false};
    std::atomic<bool> sawCancel{false};
    std::atomic<int> calls{0};
    const CancelPoint point = GetParam();
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck& cancel,
                            const PageProgress& progress) {
        ++calls;
        const QString name = nameOf(s);
        if (point == CancelPoint::betweenDocuments && name == QStringLiteral("a.pdf")) {
            RedactionResult result = fakeRedact(s, d, p, progress);
            reached = true;
            sawCancel = waitForCancel(cancel);
            return result;
        }
        if (point != CancelPoint::betweenDocuments && name == QStringLiteral("b.pdf")) {
            if (point == CancelPoint::betweenPages)
                progress(1, 3);
            reached = true;
            sawCancel = waitForCancel(cancel);
            throw InkveilError::cancelled();
        }
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(spinUntil(reached));
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_TRUE(sawCancel.load());
    EXPECT_EQ(calls.load(), point == CancelPoint::betweenDocuments ? 1 : 2);
    EXPECT_EQ(model().resultMessage(), QStringLiteral("Redaction cancelled. No output was saved."));
    EXPECT_FALSE(model().errorMessage());
    EXPECT_TRUE(model().outputs().isEmpty());
    EXPECT_TRUE(written().isEmpty()) << written().join(u',').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Points, CancelledRunTest,
                         ::testing::Values(CancelPoint::betweenDocuments, CancelPoint::inEngine,
                                           CancelPoint::betweenPages));

TEST_F(RunTest, CancellingAfterTheLastDocumentKeepsTheSuccess)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    useOutputFolder();
    std::atomic<bool> lastDone{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        RedactionResult result = fakeRedact(s, d, p, progress);
        if (nameOf(s) == QStringLiteral("b.pdf"))
            lastDone = true;
        return result;
    });

    model().redact();
    ASSERT_TRUE(spinUntil(lastDone));
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().resultMessage(), QStringLiteral("Verified 2 PDFs with 2 permanent redactions."));
    EXPECT_EQ(written().size(), 2);
    model().cancelRedaction(); // a finished run: no effect
    EXPECT_EQ(model().outputs().size(), 2);
}

TEST_F(RunTest, CancelAndWaitHasCleanedUpWhenItReturns)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    useOutputFolder();
    std::atomic<bool> reached{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck& cancel,
                            const PageProgress& progress) {
        if (nameOf(s) == QStringLiteral("b.pdf")) {
            reached = true;
            waitForCancel(cancel);
            throw InkveilError::cancelled();
        }
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(spinUntil(reached));
    Emissions redactingChanged(model(), &AppModel::isRedactingChanged);
    model().cancelRedactionAndWait();

    EXPECT_FALSE(model().isRedacting());
    EXPECT_EQ(model().resultMessage(), ModelMessages::runCancelled);
    EXPECT_TRUE(written().isEmpty());
    // The worker's own queued report arrives later and changes nothing.
    QTest::qWait(50);
    EXPECT_EQ(redactingChanged.count(), 1);
    EXPECT_EQ(model().resultMessage(), ModelMessages::runCancelled);
}

TEST_F(RunTest, DestroyingTheModelStopsTheRunAndCleansUp)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    useOutputFolder();
    std::atomic<bool> reached{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck& cancel,
                            const PageProgress& progress) {
        if (nameOf(s) == QStringLiteral("b.pdf")) {
            reached = true;
            waitForCancel(cancel);
            throw InkveilError::cancelled();
        }
        return fakeRedact(s, d, p, progress);
    });
    model().redact();
    ASSERT_TRUE(spinUntil(reached));

    destroyModel();
    EXPECT_TRUE(written().isEmpty());
    QTest::qWait(50); // queued reports for the gone model are dropped
}

TEST_F(RunTest, ASecondRedactWhileWorkingIsIgnored)
{
    addReady({QStringLiteral("a.pdf")});
    useOutputFolder();
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        ++calls;
        spinUntil(release);
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    model().redact();
    release = true;
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(model().outputs().size(), 1);
}

TEST_F(RunTest, EditsDuringARunDoNotReachIt)
{
    addReady({QStringLiteral("a.pdf")}, 2);
    useOutputFolder();
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    RedactionPlan seen;
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        started = true;
        spinUntil(release);
        seen = p;
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(spinUntil(started));
    const RedactionPlan expected = [&] {
        RedactionPlan plan;
        const QList<RedactionRegion> marks = model().selectedMarks();
        plan.regions.assign(marks.begin(), marks.end());
        plan.dpi = 200;
        return plan;
    }();
    model().addMark(Rect{0.5, 0.5, 0.2, 0.2});
    model().setDpi(300);
    model().setOutputFolder(file(QStringLiteral("elsewhere")));
    model().removeAll();
    release = true;
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(seen, expected);
    EXPECT_EQ(written().size(), 1);
}

// ---- Progress ------------------------------------------------------------------

TEST_F(RunTest, ProgressFollowsThePagesOfTheRun)
{
    addReady({QStringLiteral("100%2 report.pdf"), QStringLiteral("b.pdf")}, 1, 2);
    useOutputFolder();
    model().setRedactor([](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                           const PageProgress& progress) { return fakeRedact(s, d, p, progress, 2); });
    QList<double> values;
    QStringList texts;
    QObject::connect(&model(), &AppModel::progressChanged, [&] { values.append(model().progress()); });
    QObject::connect(&model(), &AppModel::progressTextChanged, [&] { texts.append(model().progressText()); });

    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(values, (QList<double>{0.05, 0.25, 0.5, 0.75, 0.99, 1.0}));
    EXPECT_EQ(texts, (QStringList{
                         QStringLiteral("Redacting 1 of 2 \u00B7 100%2 report.pdf \u00B7 page 1 of 2"),
                         QStringLiteral("Redacting 1 of 2 \u00B7 100%2 report.pdf \u00B7 page 2 of 2"),
                         QStringLiteral("Redacting 2 of 2 \u00B7 b.pdf \u00B7 page 1 of 2"),
                         QStringLiteral("Redacting 2 of 2 \u00B7 b.pdf \u00B7 page 2 of 2"),
                         QString(),
                     }));
}

// ---- The destination changes under the run -----------------------------------------

TEST_F(RunTest, AFolderThatVanishesMidRunFailsAndLeavesNothing)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    const QString out = useOutputFolder();
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        if (nameOf(s) == QStringLiteral("b.pdf")) {
            // Gone and made anew (as the engine does for a missing destination).
            QDir(d).removeRecursively();
            QDir().mkpath(d);
        }
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().errorMessage(), ModelMessages::destinationGone);
    EXPECT_TRUE(model().outputs().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(out)); // the folder made during the run is gone again
}

TEST_F(RunTest, AnOutputRemovedBeforeTheEndFailsTheRun)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    useOutputFolder();
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        if (nameOf(s) == QStringLiteral("b.pdf"))
            QFile::remove(QDir(d).filePath(QStringLiteral("a \u2014 Redacted.pdf")));
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().errorMessage(), ModelMessages::outputGone);
    EXPECT_TRUE(written().isEmpty());
}
