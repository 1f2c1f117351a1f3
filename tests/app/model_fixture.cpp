#include "tests/app/model_fixture.h"

#include "core/engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <chrono>
#include <thread>

namespace inkveil::test {

void ModelTest::SetUp()
{
    for (const char* name : {"MERVO_UI_TEST_INPUTS", "MERVO_UI_TEST_OUTPUT_DIR", "DISABLE_AUTO_UPDATE"})
        qunsetenv(name);
    // Remembered settings stay within the test.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir());
}

AppModel& ModelTest::model()
{
    if (!m_model) {
        m_model = std::make_unique<AppModel>();
        m_model->setDialogs(&dialogs);
        UpdateServices services;
        services.check = [this](const QUrl&, const QString&) {
            ++updateChecks;
            return QtFuture::makeReadyFuture(Updater::CheckResult{manifestOffer, manifestUnverified});
        };
        services.enabled = true; // test builds carry no release key
        m_model->setUpdateServices(services);
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
    return writeFile(path(name), "Quarterly numbers, plain text only.\n");
}

QString ModelTest::subdir(const QString& name)
{
    QDir(dir()).mkpath(name);
    return path(name);
}

bool ModelTest::waitForRunEnd()
{
    return QTest::qWaitFor([this] { return !model().isRedacting(); }, 120000);
}

bool ModelTest::waitForPreview()
{
    return QTest::qWaitFor([this] { return !model().isRendering(); }, 60000);
}

bool ModelTest::waitForSearch()
{
    return QTest::qWaitFor([this] { return !model().isReading(); }, 120000);
}

RedactionResult fakeRedact(const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::PageProgress& progress)
{
    progress(1, 1);
    const QString output =
        InkveilEngine::availableURL(destination, QFileInfo(source).completeBaseName() + InkveilEngine::kRedactedSuffix);
    QFile out(output);
    if (!out.open(QIODevice::WriteOnly))
        throw FileError(output, QStringLiteral("cannot write"));
    out.write("%PDF-1.7 stand-in\n");
    RedactionVerification verification;
    verification.pageCount = 1;
    verification.redactionCount = static_cast<std::int64_t>(plan.regions.size());
    return RedactionResult{output, verification, {}};
}

Redactor fakeEngine(const QString& name, Redactor special)
{
    return [name, special](const QString& source, const QString& destination, const RedactionPlan& plan,
                           const InkveilEngine::CancelCheck& cancel, const InkveilEngine::PageProgress& progress) {
        if (special && QFileInfo(source).fileName() == name)
            return special(source, destination, plan, cancel, progress);
        return fakeRedact(source, destination, plan, progress);
    };
}

bool pollFor30s(const InkveilEngine::CancelCheck& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace inkveil::test
