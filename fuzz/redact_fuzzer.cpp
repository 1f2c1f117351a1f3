// Redacts any bytes, read as a PDF, with a fixed plan into a scratch folder, and
// checks what the engine promises whatever the input: an error of its own or a
// verified output, nothing else left behind, and the source untouched.
#include "fuzz/fuzz_support.h"

#include "core/engine.h"
#include "platform/pdf_document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <exception>

using namespace inkveil;

namespace {

constexpr int kMaxPages = 8;

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString source = fuzz::writeInput(QStringLiteral("Source.pdf"), input);
    {
        // Long documents are legitimately slow, not hangs.
        platform::Context ctx;
        auto document = platform::Document::open(ctx, source);
        if (document && document->pageCount() > kMaxPages)
            return 0;
    }
    // A destination that does not exist yet: a failed run must not leave it behind.
    const QString parent = fuzz::scratchFolder() + QStringLiteral("/out");
    const QString destination = parent + QStringLiteral("/nested");

    try {
        const RedactionResult result = InkveilEngine::redact(source, destination, fuzz::fixedPlan());
        if (entries(destination) != QStringList{QStringLiteral("Source \u2014 Redacted.pdf")}
            || QFileInfo(result.output).fileName() != QStringLiteral("Source \u2014 Redacted.pdf"))
            fuzz::violation("a successful run left something other than its output");
    } catch (const Error&) {
        if (QFileInfo::exists(parent) && !entries(parent).isEmpty())
            fuzz::violation("a failed run left files or folders behind");
    } catch (const std::exception& e) {
        fuzz::violation(e.what());
    }
    QDir(parent).removeRecursively();

    QFile file(source);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != input)
        fuzz::violation("the source changed");
    return 0;
}
