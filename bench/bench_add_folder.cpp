// Times AppModel::add on a folder of small PDFs (1,000 unless given):
//   bench_add_folder [count] [rounds]

#include "app/app_model.h"
#include "core/engine.h"
#include "tests/support/pdf_builder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DISABLE_AUTO_UPDATE", "1");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        inkveil::test::PdfBuilder builder;
        builder.textPage("Invoice " + std::to_string(i)).textPage("Terms and conditions");
        builder.write(dir.filePath(QStringLiteral("invoice %1.pdf").arg(i, 4, 10, QLatin1Char('0'))));
    }
    std::printf("made %d two-page PDFs in %lld ms\n", count, static_cast<long long>(timer.elapsed()));

    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        inkveil::AppModel model;
        timer.restart();
        model.add({dir.path()});
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (model.inputs().size() != count || model.errorMessage()) {
            std::fprintf(stderr, "added %lld of %d PDFs\n", static_cast<long long>(model.inputs().size()), count);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    timer.restart();
    const auto found = inkveil::InkveilEngine::discover({dir.path()});
    const double discovery = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("add(folder of %d PDFs): median %.1f ms, best %.1f ms, worst %.1f ms over %d rounds\n", count,
                times[times.size() / 2], times.front(), times.back(), rounds);
    std::printf("of which discovering the %lld files: %.1f ms\n", static_cast<long long>(found.size()), discovery);
    return 0;
}
