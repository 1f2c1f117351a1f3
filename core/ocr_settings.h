#pragma once

#include <QString>

#include <optional>

namespace inkveil {

// When pages are read as pictures: automatic reads the pages whose text layer
// does not account for what they draw; always reads every page; off none.
enum class OcrMode { automatic, always, off };

// "auto", "always", "off": the names the command line and settings use.
QString ocrModeName(OcrMode mode);
std::optional<OcrMode> ocrModeFromName(const QString& name);

struct OcrSettings {
    OcrMode mode = OcrMode::automatic;
    QString languages = QStringLiteral("eng"); // Tesseract's form: "eng+deu"

    friend bool operator==(const OcrSettings&, const OcrSettings&) = default;
};

} // namespace inkveil
