#pragma once

#include <optional>
#include <utility>

class QWidget;

namespace inkveil {

// "Repeat Box on All Pages…": all pages or a range. Returns the zero-based
// first and last page chosen, or nothing when cancelled.
std::optional<std::pair<int, int>> askRepeatPages(QWidget* parent, int pageCount);

} // namespace inkveil
