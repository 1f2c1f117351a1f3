#include "core/exclusions.h"

#include <algorithm>

namespace inkveil::InkveilEngine {

namespace {

double area(const Rect& r)
{
    const Rect s = r.standardized();
    return s.width * s.height;
}

double overlap(const RedactionRegion& a, const RedactionRegion& b)
{
    if (a.pageIndex() != b.pageIndex())
        return 0;
    const auto common = a.normalizedRect().standardized().intersected(b.normalizedRect().standardized());
    return common ? area(*common) : 0;
}

} // namespace

bool sameOccurrence(const RedactionRegion& a, const RedactionRegion& b)
{
    const double common = overlap(a, b);
    const double either = area(a.normalizedRect()) + area(b.normalizedRect()) - common;
    return common > 0 && common >= 0.5 * either;
}

bool insideExclusion(const RedactionRegion& region, const std::vector<RedactionRegion>& exclusions)
{
    const double own = area(region.normalizedRect());
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const RedactionRegion& excluded) {
        const double common = overlap(region, excluded);
        return common > 0 && common >= 0.5 * own;
    });
}

std::vector<RedactionRegion> withoutExcluded(std::vector<RedactionRegion> regions,
                                             const std::vector<RedactionRegion>& exclusions)
{
    if (exclusions.empty())
        return regions;
    std::erase_if(regions, [&](const RedactionRegion& region) {
        return std::any_of(exclusions.begin(), exclusions.end(),
                           [&](const RedactionRegion& excluded) { return sameOccurrence(region, excluded); });
    });
    return regions;
}

} // namespace inkveil::InkveilEngine
