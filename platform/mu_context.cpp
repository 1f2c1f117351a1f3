#include "platform/mu_context.h"

#include <array>
#include <mutex>
#include <new>

namespace inkveil::platform {

namespace {

std::array<std::mutex, FZ_LOCK_MAX> g_locks;

void lockMutex(void*, int lock) { g_locks[static_cast<size_t>(lock)].lock(); }
void unlockMutex(void*, int lock) { g_locks[static_cast<size_t>(lock)].unlock(); }

void quiet(void*, const char*) {}

// The root is never used for work, only cloned; it lives for the whole process.
fz_context* rootContext()
{
    static fz_context* root = [] {
        static fz_locks_context locks{nullptr, lockMutex, unlockMutex};
        fz_context* ctx = fz_new_context(nullptr, &locks, kStoreLimitBytes);
        if (ctx) {
            fz_set_error_callback(ctx, quiet, nullptr);
            fz_set_warning_callback(ctx, quiet, nullptr);
        }
        return ctx;
    }();
    return root;
}

} // namespace

Context::Context()
{
    fz_context* root = rootContext();
    m_ctx = root ? fz_clone_context(root) : nullptr;
    if (!m_ctx)
        throw std::bad_alloc();
    fz_set_error_callback(m_ctx, onError, this);
    fz_set_warning_callback(m_ctx, onWarning, this);
}

Context::~Context()
{
    fz_drop_context(m_ctx);
}

void Context::setAntiAliasing(int bits)
{
    fz_set_aa_level(m_ctx, bits);
}

void Context::setMinimumLineWidth(float pixels)
{
    fz_set_graphics_min_line_width(m_ctx, pixels);
}

void Context::throwCaught() const
{
    throw PdfError(fz_caught(m_ctx), fz_caught_message(m_ctx));
}

void Context::onError(void*, const char*)
{
    // The message is read from fz_caught_message at the boundary.
}

void Context::onWarning(void* user, const char* message)
{
    // Callbacks given to MuPDF must not throw.
    try {
        static_cast<Context*>(user)->m_lastWarning = QString::fromUtf8(message);
    } catch (...) {
    }
}

} // namespace inkveil::platform
