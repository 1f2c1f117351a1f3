#include "core/page_writer_thread.h"

#include "core/errors.h"

#include <new>
#include <stdexcept>

namespace inkveil {

PageWriterThread::PageWriterThread(int fd) : m_writer(fd), m_thread([this] { run(); }) {}

PageWriterThread::~PageWriterThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void PageWriterThread::waitIdle(std::unique_lock<std::mutex>& lock)
{
    m_changed.wait(lock, [this] { return !m_page && !m_busy; });
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

platform::PixelBuffer PageWriterThread::submit(platform::PixelBuffer&& pixels, PageFrame frame)
{
    std::unique_lock lock(m_mutex);
    waitIdle(lock);
    m_page.emplace(std::move(pixels), frame);
    platform::PixelBuffer free = std::move(m_done);
    lock.unlock();
    m_changed.notify_all();
    return free;
}

void PageWriterThread::finish()
{
    std::unique_lock lock(m_mutex);
    waitIdle(lock);
    m_finish = true;
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
    lock.lock();
    waitIdle(lock);
}

void PageWriterThread::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_page || m_finish; });
        if (m_stop)
            return;
        if (m_finish) {
            m_finish = false;
            lock.unlock();
            try {
                m_writer.finish();
            } catch (...) {
                lock.lock();
                m_error = std::current_exception();
                lock.unlock();
            }
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
            continue;
        }
        auto [pixels, frame] = std::move(*m_page);
        m_page.reset();
        m_busy = true;
        lock.unlock();

        std::exception_ptr error;
        try {
            platform::EncodedImage image;
            try {
                image = m_encoder.encode(pixels);
            } catch (const std::bad_alloc&) {
                throw InkveilError::verificationFailed(Reason::renderedPageInvalid);
            } catch (const std::runtime_error&) {
                throw InkveilError::verificationFailed(Reason::renderedPageInvalid);
            }
            m_writer.addPage(frame.width, frame.height, frame.rotate, image);
            // Whitened here, while the caller renders, for a next page of the same size.
            pixels.clear();
        } catch (...) {
            error = std::current_exception();
        }

        lock.lock();
        m_done = std::move(pixels);
        m_error = error;
        m_busy = false;
        m_changed.notify_all();
    }
}

} // namespace inkveil
