// Reads regions from any JSON: an object, or an array of them. What is read
// must write back and read again as the same region.
#include "fuzz/fuzz_support.h"

#include "core/records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <stdexcept>

using namespace inkveil;

namespace {

bool finite(const Rect& r)
{
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

void check(const QJsonObject& object)
{
    RedactionRegion region;
    try {
        region = RedactionRegion::fromJson(object);
    } catch (const std::invalid_argument&) {
        return;
    }
    if (finite(region.normalizedRect()) && RedactionRegion::fromJson(region.toJson()) != region)
        fuzz::violation("a region does not survive writing and reading");
    const RedactionRegion clipped(region.pageIndex(), region.normalizedRect());
    const Rect r = clipped.normalizedRect();
    if (!(r.x >= 0 && r.y >= 0 && r.width >= 0 && r.height >= 0 && r.x + r.width <= 1 + 1e-12 && r.y + r.height <= 1 + 1e-12))
        fuzz::violation("a constructed region lies outside the unit square");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QJsonDocument json =
        QJsonDocument::fromJson(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (json.isObject())
        check(json.object());
    for (const QJsonValue& value : json.array()) {
        if (value.isObject())
            check(value.toObject());
    }
    return 0;
}
