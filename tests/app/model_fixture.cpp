#include "tests/app/model_fixture.h"

#include "core/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <chrono>
#include <thread>

namespace inkveil::test {

QStringList FakeDialogs::chooseInputs(const QString& title, const QString& prompt)
{
    inputRequests.append({title, prompt, std::nullopt});
    return inputsAnswer;
}

std::optional<QString> FakeDialogs::chooseOutputFolder(const QString& title, const QString& prompt,
                                                       const std::optional<QString>& startFolder)
{
    folderRequests.append({title, prompt, startFolder});
    return folderAnswer;
}

void FakeDialogs::revealOutputs(const QStringList& files)
{
    revealed.append(files);
}

void ModelTest::SetUp()
{
    for (const char* name : {"MERVO_UI_TEST_INPUTS", "MERVO_UI_TEST_OUTPUT_DIR", "DISABLE_AUTO_UPDATE"})
        qunsetenv(name);
}

void ModelTest::TearDown()
{
    destroyModel();
}

void ModelTest::destroyModel()
{
    m_model.reset();
}

AppModel& ModelTest::model()
{
    if (!m_model) {
        m_model = std::make_unique<AppModel>();
        m_model->setDialogs(&dialogs);
    }
    return *m_model;
}

QString ModelTest::pdf(const QString& name, int pages, const std::string& text)
{
    PdfBuilder builder;
    for (int i = 1; i <= pages; ++i)
        builder.textPage(text + " " + std::to_string(i));
    return builder.write(path(name));
}

QString ModelTest::notPdf(const QString& name)
{
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Quarterly numbers, plain text only.\n");
    return file.fileName();
}

QString ModelTest::truncatedPdf(const QString& name)
{
    const QByteArray whole = PdfBuilder().textPage("Hello").build();
    QFile file(path(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(whole.left(24));
    return file.fileName();
}

QString ModelTest::zeroPagePdf(const QString& name)
{
    return PdfBuilder().write(path(name));
}

QString ModelTest::encryptedPdf(const QString& name)
{
    const QString plain = pdf(QStringLiteral("plain-for-") + name);
    const QString out = path(name);
    const ProcessResult r = runProgram(QStringLiteral("qpdf"), {QStringLiteral("--encrypt"), QStringLiteral("secret"),
                                                                 QStringLiteral("owner"), QStringLiteral("256"),
                                                                 QStringLiteral("--"), plain, out});
    QFile::remove(plain);
    return r.exitCode == 0 ? out : QString();
}

QString ModelTest::subdir(const QString& name)
{
    QDir(dir()).mkpath(name);
    return path(name);
}

bool ModelTest::waitForRunEnd(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !model().isRedacting(); }, timeoutMs);
}

RedactionResult fakeRedact(const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::PageProgress& progress, int pages)
{
    for (int page = 1; page <= pages; ++page) {
        if (progress)
            progress(page, pages);
    }
    const QString output =
        InkveilEngine::availableURL(destination, QFileInfo(source).completeBaseName() + InkveilEngine::kRedactedSuffix);
    QFile file(output);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(output, QStringLiteral("cannot write"));
    file.write("%PDF-1.7 stand-in\n");
    RedactionVerification verification;
    verification.pageCount = pages;
    verification.redactionCount = static_cast<std::int64_t>(plan.regions.size());
    return RedactionResult{output, verification};
}

bool waitForCancel(const InkveilEngine::CancelCheck& shouldCancel)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!shouldCancel()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace inkveil::test
