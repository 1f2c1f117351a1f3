#include "fuzz/fuzz_support.h"

#include "platform/resource_limits.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace inkveil::fuzz {

namespace {

void silent(QtMsgType, const QMessageLogContext&, const QString&) {}

std::unique_ptr<QTemporaryDir>& scratch()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

} // namespace

void initialize()
{
    // Large enough for any page the fuzzer should draw at 96 dpi, small enough
    // to stay far below the fuzzer's own memory limit.
    platform::setMemoryLimit(std::size_t{384} << 20);
    platform::setPageTimeBudget(std::chrono::seconds(2));
    qInstallMessageHandler(silent);
    scratch() = std::make_unique<QTemporaryDir>();
    if (!scratch()->isValid())
        violation("no scratch folder");
    std::atexit([] { scratch().reset(); });
}

const QString& scratchFolder()
{
    static const QString path = scratch()->path();
    return path;
}

QString writeInput(const QString& name, const std::uint8_t* data, std::size_t size)
{
    return writeInput(name, QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
}

QString writeInput(const QString& name, const QByteArray& bytes)
{
    const QString path = scratchFolder() + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        violation("cannot write the input file");
    return path;
}

RedactionPlan fixedPlan()
{
    RedactionPlan plan;
    plan.regions = {RedactionRegion(0, Rect{0.1, 0.8, 0.5, 0.1})};
    plan.searchTerms = {kFixedPhrase};
    plan.dpi = 96; // the least the engine draws at
    // Reading pictures takes seconds a page and reads only our own renderings.
    plan.ocr.mode = OcrMode::off;
    return plan;
}

void violation(const char* what)
{
    std::fprintf(stderr, "fuzz invariant violated: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

} // namespace inkveil::fuzz
