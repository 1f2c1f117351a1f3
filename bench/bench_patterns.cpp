// Times the search for patterns against a phrase search over the same text:
// a document with a card number, a date, an address and a telephone number on
// every line (1,000 pages of 50 lines unless given):
//   bench_patterns [pages]

#include "core/engine.h"
#include "platform/pdf_document.h"
#include "tests/support/pdf_builder.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    inkveil::test::PdfBuilder builder;
    for (int p = 0; p < pages; ++p) {
        inkveil::test::PageSpec page;
        for (int line = 0; line < 50; ++line)
            page.texts.push_back({50, 770.0 - 15 * line, 9,
                                  "Paid 4111 1111 1111 1111 on 6 December 2026 by jane.doe@example.com, +44 20 7946 0958 #"
                                      + std::to_string(line)});
        builder.page(page);
    }
    const QString path = builder.write(dir.filePath(QStringLiteral("lines.pdf")));

    struct Case {
        QString label;
        QStringList phrases;
        QStringList names;
        QStringList expressions;
    };
    std::vector<Case> cases{{QStringLiteral("phrase \"jane.doe\""), {QStringLiteral("jane.doe")}, {}, {}}};
    for (const QString& name : inkveil::PatternSet::builtInNames())
        cases.push_back({name, {}, {name}, {}});
    cases.push_back({QStringLiteral("all eight patterns"), {}, inkveil::PatternSet::builtInNames(), {}});
    cases.push_back({QStringLiteral("expression (?s). (every character)"), {}, {}, {QStringLiteral("(?s).")}});
    for (const Case& c : cases) {
        inkveil::platform::Context ctx;
        auto document = inkveil::platform::Document::open(ctx, path);
        if (!document)
            return 1;
        const inkveil::PatternSet set(c.names, c.expressions);
        QElapsedTimer timer;
        timer.start();
        const auto report = inkveil::InkveilEngine::search(*document, c.phrases, set);
        const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
        std::printf("%-38s %6.1f pages/s  %8zu regions  peak %ld MiB\n", qPrintable(c.label), pages / std::max(seconds, 1e-3),
                    report.regions.size(), peakKiB() / 1024);
    }
    return 0;
}
