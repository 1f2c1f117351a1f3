// Placeholder until text search lands.
#include "core/engine.h"
namespace inkveil::InkveilEngine {
std::vector<RedactionRegion> searchRegions(platform::Document&, const QStringList&) { return {}; }
}
