// ui-screenshot OUT.png
// The main window with the sample contract, a few marks and a finished run,
// saved as an image for the README. Run it on an X display (scripts/screenshot.sh).

#include "app/app_model.h"
#include "ui/content_view.h"
#include "ui/inkveil_app.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: ui-screenshot SAMPLE.pdf OUT.png\n");
        return 2;
    }
    const QString outputs = QDir::temp().filePath(QStringLiteral("inkveil-screenshot/Redacted"));
    QDir(outputs).removeRecursively();
    QDir().mkpath(outputs);
    qputenv("DISABLE_AUTO_UPDATE", "1");
    qputenv("MERVO_UI_TEST_OUTPUT_DIR", QFile::encodeName(outputs));

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Inkveil"));
    inkveil::InkveilApp app;
    app.show();
    if (!QTest::qWaitForWindowExposed(&app.window()))
        return 1;

    inkveil::AppModel& model = app.model();
    model.add({QString::fromLocal8Bit(argv[1])});
    // The address and the social security number by hand, the name and the
    // account number by search.
    model.addMark(inkveil::Rect{0.2108, 0.8207, 0.2320, 0.0177});
    model.addMark(inkveil::Rect{0.3235, 0.7374, 0.1176, 0.0183});
    for (const char* phrase : {"John Smith", "4485-2210-9931"}) {
        model.setSearchText(QString::fromLatin1(phrase));
        model.addSearchMatches();
        if (!QTest::qWaitFor([&] { return !model.isReading(); }, 120000))
            return 1;
    }
    model.redact();
    if (!QTest::qWaitFor([&] { return !model.isRedacting(); }, 120000))
        return 1;
    QTest::qWait(300);

    const bool saved = app.window().grab().save(QString::fromLocal8Bit(argv[2]));
    QDir(outputs).removeRecursively();
    return saved && model.errorMessage() == std::nullopt ? 0 : 1;
}
