#pragma once

#include <QString>

#include <stdexcept>
#include <string>

extern "C" {
#include <mupdf/fitz.h>
}

namespace inkveil::platform {

// A MuPDF failure, thrown only after the fz_try frame has been left.
class PdfError : public std::runtime_error {
public:
    PdfError(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const { return m_code; }
    bool aborted() const { return m_code == FZ_ERROR_ABORT; }

private:
    int m_code;
};

// One MuPDF context for the calling thread, cloned from a process-wide root made
// with locks. Use it on one thread only. MuPDF's own messages are kept, never
// printed: the last one is available for diagnostics.
class Context {
public:
    Context();
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    fz_context* get() const { return m_ctx; }
    operator fz_context*() const { return m_ctx; }

    const QString& lastWarning() const { return m_lastWarning; }

    // Bits of anti-aliasing for glyphs and shapes alike, 0 (none) to 8. Glyphs
    // know only two settings: any non-zero value gives them 256 levels.
    void setAntiAliasing(int bits);
    // Strokes thinner than this many pixels are drawn this wide.
    void setMinimumLineWidth(float pixels);

    // Throws PdfError for the error caught by the last fz_catch.
    [[noreturn]] void throwCaught() const;

private:
    static void onError(void* user, const char* message);
    static void onWarning(void* user, const char* message);

    fz_context* m_ctx = nullptr;
    QString m_lastWarning;
};

// Limits of the resource store (fonts, images) per context.
inline constexpr size_t kStoreLimitBytes = 64u << 20;

} // namespace inkveil::platform
