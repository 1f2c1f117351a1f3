#pragma once

#include "core/engine.h"
#include "platform/image_pdf_writer.h"
#include "platform/page_image.h"
#include "platform/pixel_buffer.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace inkveil {

// Encodes and writes rendered pages on a thread of its own, one page behind the
// caller, who renders the next page meanwhile. Two pixel buffers circulate
// between the threads, so at most one page image per thread exists at a time.
// The writing thread makes no MuPDF calls and needs no context of its own.
class PageWriterThread {
public:
    using PageFrame = InkveilEngine::PageFrame;

    // Writes to fd, which must stay open until this object is gone.
    explicit PageWriterThread(int fd);
    // Stops the thread and waits for it; a page it was given is dropped unwritten.
    ~PageWriterThread();
    PageWriterThread(const PageWriterThread&) = delete;
    PageWriterThread& operator=(const PageWriterThread&) = delete;

    // Waits until the previous page has been written, hands this one over, and
    // returns the previous page's buffer for reuse (empty at first). Rethrows
    // what the previous page failed with: InkveilError for an image that could
    // not be encoded, std::system_error for a failed write.
    platform::PixelBuffer submit(platform::PixelBuffer&& pixels, PageFrame frame);
    // Waits for the last page, then completes and syncs the file. Rethrows as
    // submit does.
    void finish();

private:
    void run();
    void waitIdle(std::unique_lock<std::mutex>& lock);

    platform::ImagePdfWriter m_writer;
    platform::PageImageEncoder m_encoder;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<std::pair<platform::PixelBuffer, PageFrame>> m_page; // given, not yet taken
    bool m_busy = false;                                               // a page is being written
    platform::PixelBuffer m_done;                                      // buffer of the last page written
    bool m_finish = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread; // last: starts once everything above exists
};

} // namespace inkveil
