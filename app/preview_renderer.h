#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace inkveil {

// Draws preview images on a thread of its own, so that the window never waits
// for a page. Only the latest request counts: one that is still waiting is
// replaced, one being drawn is abandoned. Each request gets a quick coarse
// image first and then the sharp one.
class PreviewRenderer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QString path;
        int page = 0;
        quint64 number = 0;
        int side = 1200;      // the sharp image's longest side
        bool coarseFirst = true;
    };
    struct Result {
        quint64 number = 0;
        QImage image;      // null when the page could not be drawn
        bool final = true; // false for the coarse first image
        bool unreadable = false;
        bool empty = false; // the file opens but has no pages
        int pageCount = 0;  // of the file as it is now, once opened
        int rotation = 0;   // the page's /Rotate, which the image shows
    };

    // The coarse image's longest side.
    static constexpr int kCoarseSide = 300;

    explicit PreviewRenderer(QObject* parent = nullptr);
    ~PreviewRenderer() override;

    // Returns at once; ready() follows on this object's thread.
    void request(const Request& request);
    // Drops what is waiting and abandons what is being drawn.
    void cancel();

Q_SIGNALS:
    void ready(const inkveil::PreviewRenderer::Result& result);

private:
    void work(std::stop_token stop);
    bool superseded(quint64 number);

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::optional<Request> m_next;
    quint64 m_latest = 0;
    std::jthread m_thread;
};

} // namespace inkveil
