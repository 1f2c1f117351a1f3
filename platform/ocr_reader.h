#pragma once

#include "core/geometry.h"
#include "platform/pdf_document.h"
#include "platform/pixel_buffer.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace inkveil::platform {

// One recognised character (or ligature) with its box in page space.
struct OcrSymbol {
    QString text;
    Rect box;
};

// One recognised word, in reading order. endsLine marks the last word of a
// text line: what follows is on another line.
struct OcrWord {
    std::vector<OcrSymbol> symbols;
    Rect box;
    bool endsLine = false;
};

// A failure to load language data or to read an image, with a text for the user.
class OcrError : public std::runtime_error {
public:
    enum class Kind { languageMissing, languageDamaged, failed, timedOut, cancelled };
    OcrError(Kind kind, const QString& message) : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}
    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

// Tesseract with its language data loaded, for one thread at a time. Loading
// takes a fraction of a second: keep one per worker and reuse it.
class OcrReader {
public:
    using CancelCheck = std::function<bool()>;

    // languages in Tesseract's form, "eng" or "eng+deu". Throws OcrError.
    explicit OcrReader(const QString& languages);
    ~OcrReader();
    OcrReader(const OcrReader&) = delete;
    OcrReader& operator=(const OcrReader&) = delete;

    // Reads a grey image drawn at dpi with pageToPixel (rows top-down) and
    // returns its words with boxes in page space. Gives up when cancelled says
    // so or the page time budget runs out. Throws OcrError.
    std::vector<OcrWord> read(const PixelBuffer& grey, int dpi, const Matrix& pageToPixel,
                              const CancelCheck& cancelled = {});

    // Language codes whose data is installed ("eng", "osd", …), sorted.
    static QStringList installedLanguages();
    // Why languages cannot be used, or nothing when they can be: a code that is
    // malformed or whose data is not installed (naming the Debian package).
    static std::optional<QString> languageProblem(const QString& languages);

private:
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
};

} // namespace inkveil::platform
