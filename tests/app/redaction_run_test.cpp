#include "tests/app/model_fixture.h"

#include "app/model_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace inkveil;
using namespace inkveil::test;
using InkveilEngine::CancelCheck;
using InkveilEngine::PageProgress;

class RunTest : public ModelTest {
protected:
    // Adds the named one-page documents, each with `marks` marks.
    void addReady(const QStringList& names, int marks = 1)
    {
        for (const QString& name : names) {
            model().add({pdf(name)});
            model().setSelection(model().inputs().back().id);
            for (int i = 0; i < marks; ++i)
                model().addMark(Rect{0.1 * i, 0.1, 0.05, 0.05});
        }
        m_out = subdir(QStringLiteral("out"));
        model().setOutputFolder(m_out);
    }
    QStringList written() const { return entriesOf(m_out); }
    QString m_out;
};

TEST_F(RunTest, NothingStartsWithoutAWritableFolder)
{
    addReady({QStringLiteral("a.pdf")});
    model().setRedactor(fakeEngine());
    const std::pair<QString, QString> cases[] = {
        {file(QStringLiteral("nowhere/deeper")), ModelMessages::destinationMissing},
        {notPdf(QStringLiteral("file")), ModelMessages::destinationNotWritable}};
    for (const auto& [folder, message] : cases) {
        model().setOutputFolder(folder);
        model().redact();
        EXPECT_EQ(model().errorMessage(), message) << folder.toStdString();
        EXPECT_FALSE(model().isRedacting());
    }
    model().setErrorMessage(std::nullopt);
    model().setOutputFolder(std::nullopt);
    model().redact(); // the dialog is cancelled
    EXPECT_EQ(dialogs.folderAsks, 1);
    EXPECT_FALSE(model().isRedacting() || model().errorMessage() || model().outputFolder());
}

// Thrown by the second of three documents.
enum class Failure { engine, fileSystem, other, folderMoved, outputRemoved };

class FailingRunTest : public RunTest, public ::testing::WithParamInterface<std::pair<Failure, QString>> {};

TEST_P(FailingRunTest, LeavesNoOutputAndReportsTheFailure)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("c.pdf")});
    std::atomic<bool> thirdCalled{false};
    const Failure failure = GetParam().first;
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        const QString name = QFileInfo(s).fileName();
        thirdCalled = thirdCalled || name == QStringLiteral("c.pdf");
        if (name != QStringLiteral("b.pdf"))
            return fakeRedact(s, d, p, progress);
        switch (failure) {
        case Failure::engine: throw InkveilError::verificationFailed(Reason::textSelectable);
        case Failure::fileSystem: throw FileError(d, QStringLiteral("No space left on device"));
        case Failure::other: throw 42;
        case Failure::folderMoved: // moved away, and made anew as the engine does
            QDir().rename(d, d + QStringLiteral("-moved"));
            QDir().mkpath(d);
            break;
        case Failure::outputRemoved: QFile::remove(QDir(d).filePath(QStringLiteral("a \u2014 Redacted.pdf"))); break;
        }
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(model().errorMessage(), GetParam().second);
    // A document's own failure names it; the folder's does not.
    EXPECT_EQ(model().errorTitle().startsWith(QStringLiteral("b.pdf")),
              failure != Failure::folderMoved && failure != Failure::outputRemoved && failure != Failure::other);
    EXPECT_FALSE(model().resultMessage());
    EXPECT_TRUE(model().outputs().isEmpty());
    EXPECT_TRUE(written().isEmpty()) << written().join(u',').toStdString();
    EXPECT_FALSE(thirdCalled.load());
    if (failure == Failure::folderMoved) {
        EXPECT_FALSE(QFileInfo::exists(m_out)); // the folder made during the run goes too
        EXPECT_TRUE(QDir(m_out + QStringLiteral("-moved")).isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailingRunTest,
    ::testing::Values(
        std::pair{Failure::engine, QStringLiteral("The redacted PDF could not be verified: redacted text remains selectable")},
        std::pair{Failure::fileSystem, QStringLiteral("No space left on device")},
        std::pair{Failure::other, ModelMessages::unexpectedFailure},
        std::pair{Failure::folderMoved, ModelMessages::destinationGone},
        std::pair{Failure::outputRemoved, ModelMessages::outputGone}));

enum class CancelPoint { betweenDocuments, inEngine, afterLastDocument };

class CancelledRunTest : public RunTest, public ::testing::WithParamInterface<CancelPoint> {};

TEST_P(CancelledRunTest, RemovesEveryOutputUnlessTheLastDocumentWasDone)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    std::atomic<bool> reached{false};
    const CancelPoint point = GetParam();
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck& cancel,
                            const PageProgress& progress) {
        const bool second = QFileInfo(s).fileName() == QStringLiteral("b.pdf");
        if (second && point == CancelPoint::inEngine) {
            progress(1, 3);
            reached = true;
            pollFor30s(cancel);
            throw InkveilError::cancelled(); // as the engine does at its next checkpoint
        }
        RedactionResult result = fakeRedact(s, d, p, progress);
        if (!second && point == CancelPoint::betweenDocuments) {
            reached = true;
            pollFor30s(cancel);
        }
        reached = reached || (second && point == CancelPoint::afterLastDocument);
        return result;
    });

    model().redact();
    ASSERT_TRUE(spinUntil(reached));
    model().cancelRedaction();
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_FALSE(model().errorMessage());
    if (point == CancelPoint::afterLastDocument) {
        EXPECT_EQ(model().resultMessage(), QStringLiteral("Verified 2 PDFs with 2 permanent redactions."));
        EXPECT_EQ(written().size(), 2);
    } else {
        EXPECT_EQ(model().resultMessage(), QStringLiteral("Redaction cancelled. No output was saved."));
        EXPECT_TRUE(model().outputs().isEmpty());
        EXPECT_TRUE(written().isEmpty()) << written().join(u',').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Points, CancelledRunTest,
                         ::testing::Values(CancelPoint::betweenDocuments, CancelPoint::inEngine,
                                           CancelPoint::afterLastDocument));

TEST_F(RunTest, CancelAndWaitOrDestroyingTheModelCleansUpBeforeReturning)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    std::atomic<bool> reached{false};
    model().setRedactor(fakeEngine(QStringLiteral("b.pdf"), [&](const QString&, const QString&, const RedactionPlan&,
                                                                const CancelCheck& cancel,
                                                                const PageProgress&) -> RedactionResult {
        reached = true;
        pollFor30s(cancel);
        throw InkveilError::cancelled();
    }));

    model().redact();
    ASSERT_TRUE(spinUntil(reached));
    model().cancelRedactionAndWait();
    EXPECT_FALSE(model().isRedacting());
    EXPECT_EQ(model().resultMessage(), ModelMessages::runCancelled);
    EXPECT_TRUE(written().isEmpty());

    reached = false;
    model().redact();
    ASSERT_TRUE(spinUntil(reached));
    destroyModel();
    EXPECT_TRUE(written().isEmpty());
    QTest::qWait(50); // reports for the gone model are dropped
}

TEST_F(RunTest, TheRunWorksOnCopiesAndIgnoresASecondStart)
{
    addReady({QStringLiteral("a.pdf")}, 2);
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<int> calls{0};
    RedactionPlan seen;
    model().setRedactor([&](const QString& s, const QString& d, const RedactionPlan& p, const CancelCheck&,
                            const PageProgress& progress) {
        ++calls;
        started = true;
        spinUntil(release);
        seen = p;
        return fakeRedact(s, d, p, progress);
    });

    model().redact();
    ASSERT_TRUE(spinUntil(started));
    RedactionPlan expected;
    const QList<RedactionRegion> marks = model().selectedMarks();
    expected.regions.assign(marks.begin(), marks.end());
    model().redact();
    model().addMark(Rect{0.5, 0.5, 0.2, 0.2});
    model().setDpi(300);
    model().removeAll();
    release = true;
    ASSERT_TRUE(waitForRunEnd());

    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(written().size(), 1);
}

// A document refused for a damaged page can be redacted anyway, from the
// alert; smooth text reaches the plan and is remembered.
TEST_F(RunTest, ADamagedPageCanBeRedactedAnyway)
{
    addReady({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
    model().setSmooth(true);
    std::atomic<int> smoothPlans{0};
    model().setRedactor(fakeEngine(QStringLiteral("b.pdf"), [&](const QString& s, const QString& d, const RedactionPlan& p,
                                                                 const CancelCheck&, const PageProgress& progress) {
        smoothPlans += p.smooth ? 1 : 0;
        if (!p.allowDamaged)
            throw InkveilError::damagedPage(s, 2);
        return fakeRedact(s, d, p, progress);
    }));

    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_EQ(model().errorMessage(),
              QStringLiteral("Page 3 of b.pdf could not be drawn completely: its content is damaged."));
    ASSERT_TRUE(model().damagedDocument());
    EXPECT_EQ(QFileInfo(*model().damagedDocument()).fileName(), QStringLiteral("b.pdf"));
    EXPECT_TRUE(written().isEmpty());

    model().redactAnyway();
    ASSERT_TRUE(waitForRunEnd());
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().damagedDocument());
    EXPECT_EQ(written().size(), 2);
    EXPECT_EQ(smoothPlans.load(), 2);

    destroyModel();
    EXPECT_TRUE(model().smooth());
}

// Quitting asks only while some marks were never written by a successful run.
TEST_F(RunTest, QuittingAsksOnlyWhileMarksAreUnredacted)
{
    model().add({pdf(QStringLiteral("a.pdf"))});
    EXPECT_TRUE(model().confirmQuit()); // nothing marked
    EXPECT_TRUE(dialogs.alerts.isEmpty());

    addReady({QStringLiteral("b.pdf")});
    model().setRedactor(fakeEngine());
    const std::pair<int, bool> answers[] = {{0, false}, {-1, false}, {1, true}};
    for (const auto& [answer, quits] : answers) {
        dialogs.alertAnswer = answer;
        EXPECT_EQ(model().confirmQuit(), quits) << answer;
    }
    EXPECT_EQ(dialogs.alerts.size(), 3);

    model().redact();
    ASSERT_TRUE(waitForRunEnd());
    dialogs.alertAnswer = 0;
    EXPECT_TRUE(model().confirmQuit());
    model().addMark(Rect{0.5, 0.5, 0.2, 0.2});
    EXPECT_FALSE(model().confirmQuit());
    model().removeAll();
    EXPECT_TRUE(model().confirmQuit());
    EXPECT_EQ(dialogs.alerts.size(), 4);
}
