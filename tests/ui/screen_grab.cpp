// screen-grab OUT.png [TIMEOUT_MS]
// Saves the X screen once a window has appeared on it and stopped changing.
// Exits 1 when nothing but the empty screen showed before the time-out.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

namespace {

// Whether anything is drawn: the empty screen is one colour.
bool hasContent(const QImage& image)
{
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            if (image.pixel(x, y) != first)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: screen-grab OUT.png [TIMEOUT_MS]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int timeout = argc > 2 ? std::atoi(argv[2]) : 30000;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 2;

    QElapsedTimer clock;
    clock.start();
    QImage last;
    while (clock.elapsed() < timeout) {
        const QImage now = screen->grabWindow(0).toImage();
        if (hasContent(now) && now == last)
            return now.save(out) ? 0 : 2;
        last = now;
        QThread::msleep(500);
    }
    if (hasContent(last))
        return last.save(out) ? 0 : 2;
    return 1;
}
