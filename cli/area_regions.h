#pragma once

#include "cli/options.h"
#include "core/records.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace inkveil::cli {

// The regions the areas give on one document. Pages beyond its end are kept
// (at most one per area) so that the engine refuses them as it refuses any
// region off the page; with the page count unknown, ranges give their first
// page and "all" gives nothing, since the engine will not get as far as the
// regions of a document it cannot read.
std::vector<RedactionRegion> regionsForDocument(const std::vector<AreaOption>& areas,
                                                std::optional<std::int64_t> pageCount);

// The highest page an area names that a document of pageCount pages lacks.
std::optional<std::int64_t> missingPage(const std::vector<AreaOption>& areas, std::int64_t pageCount);

// Whether expanding the areas needs the document's page count.
bool needsPageCount(const std::vector<AreaOption>& areas);

} // namespace inkveil::cli
