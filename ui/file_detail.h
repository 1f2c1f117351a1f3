#pragma once

#include "app/redact_input.h"

#include <QString>

namespace inkveil {

// "1 page · 48 kB", "12 pages · 3.4 MB": the page count and the file size in
// decimal units, as a file browser shows them.
QString fileDetail(const RedactInput& input);

// The size alone, in the same style.
QString fileSize(qint64 bytes);

} // namespace inkveil
