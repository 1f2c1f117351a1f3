#pragma once

#include "core/records.h"

#include <vector>

namespace inkveil::InkveilEngine {

// Whether two regions stand for the same occurrence: same page, and they
// overlap by at least half of their union. A document redrawn with slightly
// different glyph boxes still matches; a neighbouring occurrence, or a shorter
// phrase inside a longer one, does not.
bool sameOccurrence(const RedactionRegion& a, const RedactionRegion& b);

// Whether region lies mostly (at least half of its own area) inside one of
// the excluded regions: what reading a page back finds on an occurrence that
// was left visible on purpose.
bool insideExclusion(const RedactionRegion& region, const std::vector<RedactionRegion>& exclusions);

// The regions that are no excluded occurrence, in their order.
std::vector<RedactionRegion> withoutExcluded(std::vector<RedactionRegion> regions,
                                             const std::vector<RedactionRegion>& exclusions);

} // namespace inkveil::InkveilEngine
