#include "core/records.h"

#include <QJsonArray>
#include <QJsonValue>

#include <bit>
#include <stdexcept>

namespace inkveil {

RedactionRegion::RedactionRegion(std::int64_t pageIndex, const Rect& normalizedRect)
    : m_pageIndex(pageIndex)
{
    if (auto clipped = normalizedRect.standardized().intersected(kUnitRect))
        m_rect = *clipped;
}

bool operator==(const RedactionRegion& a, const RedactionRegion& b)
{
    return a.m_pageIndex == b.m_pageIndex && a.m_rect.standardized() == b.m_rect.standardized();
}

std::size_t hashValue(const RedactionRegion& region)
{
    auto mix = [](std::size_t seed, std::uint64_t v) {
        return seed ^ (std::hash<std::uint64_t>{}(v) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
    };
    // +0.0 for -0.0, so regions that compare equal hash alike.
    auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d == 0.0 ? 0.0 : d); };
    const Rect r = region.normalizedRect().standardized();
    std::size_t h = mix(0, static_cast<std::uint64_t>(region.pageIndex()));
    h = mix(h, bits(r.x));
    h = mix(h, bits(r.y));
    h = mix(h, bits(r.width));
    return mix(h, bits(r.height));
}

QJsonObject RedactionRegion::toJson() const
{
    return QJsonObject{
        {QStringLiteral("pageIndex"), static_cast<qint64>(m_pageIndex)},
        {QStringLiteral("normalizedRect"),
         QJsonArray{QJsonArray{m_rect.x, m_rect.y}, QJsonArray{m_rect.width, m_rect.height}}},
    };
}

namespace {

QJsonArray pairAt(const QJsonArray& array, qsizetype i)
{
    const QJsonValue v = array.at(i);
    if (!v.isArray() || v.toArray().size() != 2 || !v.toArray().at(0).isDouble() || !v.toArray().at(1).isDouble())
        throw std::invalid_argument("normalizedRect must be [[x, y], [width, height]]");
    return v.toArray();
}

} // namespace

RedactionRegion RedactionRegion::fromJson(const QJsonObject& object)
{
    const QJsonValue page = object.value(QStringLiteral("pageIndex"));
    if (!page.isDouble())
        throw std::invalid_argument("pageIndex must be an integer");
    const double pageNumber = page.toDouble();
    if (pageNumber != static_cast<double>(page.toInteger()))
        throw std::invalid_argument("pageIndex must be an integer");

    const QJsonValue rect = object.value(QStringLiteral("normalizedRect"));
    if (!rect.isArray() || rect.toArray().size() != 2)
        throw std::invalid_argument("normalizedRect must be [[x, y], [width, height]]");
    const QJsonArray origin = pairAt(rect.toArray(), 0);
    const QJsonArray size = pairAt(rect.toArray(), 1);

    RedactionRegion region;
    region.m_pageIndex = page.toInteger();
    region.m_rect = Rect{origin.at(0).toDouble(), origin.at(1).toDouble(), size.at(0).toDouble(), size.at(1).toDouble()};
    return region;
}

bool operator==(const RedactionPlan& a, const RedactionPlan& b)
{
    if (a.regions != b.regions || a.dpi != b.dpi || a.ocr != b.ocr || a.searchTerms.size() != b.searchTerms.size()
        || a.patterns != b.patterns || a.expressions != b.expressions || a.exclusions != b.exclusions
        || a.smooth != b.smooth || a.allowDamaged != b.allowDamaged)
        return false;
    for (qsizetype i = 0; i < a.searchTerms.size(); ++i) {
        if (a.searchTerms[i].normalized(QString::NormalizationForm_C)
            != b.searchTerms[i].normalized(QString::NormalizationForm_C))
            return false;
    }
    return true;
}

} // namespace inkveil
