// Redacts one document through the engine, as the command line does: every
// occurrence of a phrase, at a given resolution. Prints the output's path.
#include "core/engine.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: bench-redact SOURCE DESTINATION DPI PHRASE\n", stderr);
        return 2;
    }
    inkveil::RedactionPlan plan;
    plan.dpi = std::atof(argv[3]);
    plan.searchTerms = {QString::fromLocal8Bit(argv[4])};
    // Flattening alone, as the tools it is compared with do; bench/ocr times reading.
    plan.ocr.mode = inkveil::OcrMode::off;
    try {
        const auto result = inkveil::InkveilEngine::redact(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), plan);
        std::printf("%s\n", result.output.toLocal8Bit().constData());
    } catch (const inkveil::Error& e) {
        std::fprintf(stderr, "bench-redact: %s\n", e.description().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
