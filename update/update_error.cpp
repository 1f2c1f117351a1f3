#include "update/update_error.h"

namespace inkveil::SelfUpdater {

const char* UpdateFailure::what() const noexcept
{
    switch (m_error) {
    case UpdateError::download:
        return "download";
    case UpdateError::unpack:
        return "unpack";
    case UpdateError::notFound:
        return "notFound";
    case UpdateError::badSignature:
        return "badSignature";
    case UpdateError::wrongApp:
        return "wrongApp";
    case UpdateError::readOnlyLocation:
        return "readOnlyLocation";
    case UpdateError::unsafeLocation:
        return "unsafeLocation";
    }
    return "update";
}

} // namespace inkveil::SelfUpdater
