#include "cli/area_regions.h"

#include <algorithm>

namespace inkveil::cli {

std::vector<RedactionRegion> regionsForDocument(const std::vector<AreaOption>& areas,
                                                std::optional<std::int64_t> pageCount)
{
    std::vector<RedactionRegion> regions;
    for (const AreaOption& area : areas) {
        std::int64_t first = area.pages.first;
        std::int64_t last = area.pages.last;
        switch (area.pages.kind) {
        case PageSelection::Kind::single:
            break;
        case PageSelection::Kind::range:
            // A range far past the end must not become millions of regions.
            last = pageCount ? std::min(last, std::max(first, *pageCount + 1)) : first;
            break;
        case PageSelection::Kind::all:
            if (!pageCount || *pageCount < 1)
                continue;
            first = 1;
            last = *pageCount;
            break;
        }
        for (std::int64_t page = first; page <= last; ++page)
            regions.emplace_back(page - 1, area.rect);
    }
    return regions;
}

std::optional<std::int64_t> missingPage(const std::vector<AreaOption>& areas, std::int64_t pageCount)
{
    std::optional<std::int64_t> missing;
    for (const AreaOption& area : areas) {
        if (area.pages.kind != PageSelection::Kind::all && area.pages.last > pageCount)
            missing = std::max(missing.value_or(0), area.pages.last);
    }
    return missing;
}

bool needsPageCount(const std::vector<AreaOption>& areas)
{
    return std::any_of(areas.begin(), areas.end(),
                       [](const AreaOption& a) { return a.pages.kind != PageSelection::Kind::single; });
}

} // namespace inkveil::cli
