// How long the window's event loop stalls while a heavy document (150,000
// vector paths a page, unless given) is selected, paged through and searched:
//   bench_window_stalls [paths per page] [pages]
// A timer on the main thread ticks every 5 ms; a stall is the longest gap
// beyond that between two ticks. The window must never stall over 100 ms.

#include "app/app_model.h"
#include "tests/support/pdf_builder.h"
#include "ui/content_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

namespace {

// Longest gap between ticks, beyond the tick interval, while work runs.
class StallProbe {
public:
    static constexpr int kTick = 5;

    StallProbe()
    {
        m_timer.setInterval(kTick);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart() - kTick);
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    qint64 stop()
    {
        m_timer.stop();
        // The gap up to now counts as well.
        return std::max(m_longest, m_clock.elapsed() - kTick);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

// Runs the event loop until done() holds; false after 120 s.
bool runUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 120000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::string heavyContent(int paths, int seed)
{
    std::string content;
    content.reserve(static_cast<size_t>(paths) * 40);
    unsigned state = 2463534242u + static_cast<unsigned>(seed);
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    content += "0.2 0.3 0.6 rg\n";
    for (int i = 0; i < paths; ++i) {
        const unsigned x = 20 + next() % 560;
        const unsigned y = 20 + next() % 740;
        content += std::to_string(x) + " " + std::to_string(y) + " m " + std::to_string(x + 3) + " " + std::to_string(y + 1)
                   + " l " + std::to_string(x + 1) + " " + std::to_string(y + 3) + " l h f\n";
    }
    return content;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("DISABLE_AUTO_UPDATE", "1");
    QApplication app(argc, argv);
    const int paths = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150000;
    const int pages = argc > 2 ? std::max(2, std::atoi(argv[2])) : 4;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    inkveil::test::PdfBuilder builder;
    for (int i = 0; i < pages; ++i) {
        inkveil::test::PageSpec page;
        page.texts = {{72, 740, 12, "Signed by Jane Doe"}};
        page.extraContent = heavyContent(paths, i);
        builder.page(page);
    }
    const QString heavy = builder.write(dir.filePath(QStringLiteral("heavy.pdf")));
    std::printf("document: %d pages of %d paths\n", pages, paths);

    inkveil::AppModel model;
    inkveil::ContentView window(model);
    window.resize(1280, 790);
    window.show();
    StallProbe probe;
    qint64 worst = 0;
    bool ok = true;
    const auto phase = [&](const char* name, const std::function<void()>& act, const std::function<bool()>& done) {
        QElapsedTimer clock;
        probe.start();
        clock.start();
        act();
        const bool ended = runUntil(done);
        const qint64 stall = probe.stop();
        worst = std::max(worst, stall);
        ok = ok && ended;
        std::printf("%-28s %6lld ms to finish, longest stall %4lld ms%s\n", name, static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(stall), ended ? "" : " (did not finish)");
    };
    const auto drawn = [&] { return !model.isRendering() && !model.previewImage().isNull(); };

    phase("select (add, first page)", [&] { model.add({heavy}); }, drawn);
    for (int i = 1; i < pages; ++i)
        phase("next page", [&] { model.nextPage(); }, drawn);
    phase("pages in quick succession", [&] {
        for (int i = 0; i < pages; ++i)
            model.previousPage();
    }, drawn);
    phase("search \"Jane Doe\"", [&] {
        model.setSearchText(QStringLiteral("Jane Doe"));
        model.addSearchMatches();
    }, [&] { return !model.isReading(); });
    std::printf("marks after search: %lld\n", static_cast<long long>(model.selectedMarks().size()));
    const auto marksBefore = model.selectedMarks().size();
    QElapsedTimer listed;
    phase("a search's 400 marks listed", [&] {
        listed.start();
        // As applying a search that found 400 places: one change of the list.
        for (int i = 0; i < 400; ++i)
            model.addMark(inkveil::Rect{0.001 * (i % 100), 0.002 * (i / 100), 0.05, 0.01});
    }, [&] { return listed.elapsed() > 500; }); // rows built, shown and painted
    std::printf("longest stall overall: %lld ms (limit 100 ms)\n", static_cast<long long>(worst));
    return ok && marksBefore == pages ? 0 : 1;
}
