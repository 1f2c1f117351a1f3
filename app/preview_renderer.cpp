#include "app/preview_renderer.h"

#include "app/preview_image.h"
#include "platform/pdf_document.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMetaObject>

#include <memory>

namespace inkveil {

PreviewRenderer::PreviewRenderer(QObject* parent) : QObject(parent)
{
    m_thread = std::jthread([this](std::stop_token stop) { work(stop); });
}

PreviewRenderer::~PreviewRenderer()
{
    m_thread.request_stop();
    m_wake.notify_all();
    m_thread.join();
}

void PreviewRenderer::request(const Request& request)
{
    {
        std::lock_guard lock(m_mutex);
        m_next = request;
        m_latest = request.number;
    }
    m_wake.notify_all();
}

void PreviewRenderer::cancel()
{
    std::lock_guard lock(m_mutex);
    m_next.reset();
    ++m_latest;
}

bool PreviewRenderer::superseded(quint64 number)
{
    std::lock_guard lock(m_mutex);
    return m_latest != number;
}

// The document stays open while requests name the same file: paging through
// it then costs only the drawing.
void PreviewRenderer::work(std::stop_token stop)
{
    platform::Context ctx;
    std::unique_ptr<platform::Document> document;
    QString openPath;
    // What the file was when opened: a file changed since is opened afresh.
    QDateTime openModified;
    qint64 openSize = -1;
    while (!stop.stop_requested()) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_next.has_value(); }))
                return;
            request = *std::exchange(m_next, std::nullopt);
        }
        const auto publish = [this](Result result) {
            QMetaObject::invokeMethod(this, [this, result] { Q_EMIT ready(result); }, Qt::QueuedConnection);
        };
        const std::function<bool()> abandoned = [this, &stop, number = request.number] {
            return stop.stop_requested() || superseded(number);
        };
        Result result;
        result.number = request.number;
        try {
            const QFileInfo file(request.path);
            if (!document || openPath != request.path || file.lastModified() != openModified
                || file.size() != openSize) {
                document.reset();
                openPath.clear();
                openModified = file.lastModified();
                openSize = file.size();
                document = platform::Document::open(ctx, request.path);
                if (document)
                    openPath = request.path;
            }
            if (!document || document->pageCount() < 1) {
                result.unreadable = true;
                result.empty = document != nullptr;
                publish(result);
                continue;
            }
            result.pageCount = document->pageCount();
            if (request.page >= result.pageCount) {
                publish(result); // the model brings its page into range
                continue;
            }
            auto page = document->page(request.page);
            if (!page) {
                result.unreadable = true;
                publish(result);
                continue;
            }
            result.rotation = page->rotation();
            if (request.coarseFirst && request.side > kCoarseSide) {
                Result coarse = result;
                coarse.final = false;
                coarse.image = renderPreview(ctx, *page, kCoarseSide, abandoned);
                if (abandoned())
                    continue;
                if (!coarse.image.isNull())
                    publish(coarse);
            }
            result.image = renderPreview(ctx, *page, request.side, abandoned);
            if (abandoned())
                continue;
            result.unreadable = result.image.isNull();
            publish(result);
        } catch (...) {
            document.reset();
            openPath.clear();
            result.unreadable = true;
            publish(result);
        }
    }
}

} // namespace inkveil
