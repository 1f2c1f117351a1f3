#pragma once

#include "core/errors.h"

#include <QHashFunctions>
#include <QString>

#include <exception>

namespace inkveil::SelfUpdater {

// The installer's own failures. They carry no text of their own; a failure
// may add a reason the user can act on.
enum class UpdateError { download, unpack, notFound, badSignature, wrongApp, readOnlyLocation, unsafeLocation };

inline size_t qHash(UpdateError error, size_t seed = 0)
{
    return ::qHash(static_cast<int>(error), seed);
}

// Thrown (or carried by the installation's future) for an UpdateError.
class UpdateFailure : public std::exception {
public:
    explicit UpdateFailure(UpdateError error, QString reason = {}) : m_error(error), m_reason(std::move(reason)) {}
    UpdateError error() const { return m_error; }
    // One sentence for the user, or empty.
    const QString& reason() const { return m_reason; }
    const char* what() const noexcept override;

private:
    UpdateError m_error;
    QString m_reason;
};

// A failed transfer, passed on with the network's own description.
class TransferError : public Error {
public:
    explicit TransferError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

} // namespace inkveil::SelfUpdater
