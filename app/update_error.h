#pragma once

#include "core/errors.h"

#include <QHashFunctions>
#include <QString>

#include <exception>

namespace inkveil::SelfUpdater {

// The installer's own failures. They carry no text: every one reads to the
// user as the same sentence.
enum class UpdateError { download, unpack, notFound, badSignature, wrongApp, readOnlyLocation };

inline size_t qHash(UpdateError error, size_t seed = 0)
{
    return ::qHash(static_cast<int>(error), seed);
}

// Thrown (or carried by the installation's future) for an UpdateError.
class UpdateFailure : public std::exception {
public:
    explicit UpdateFailure(UpdateError error) : m_error(error) {}
    UpdateError error() const { return m_error; }
    const char* what() const noexcept override;

private:
    UpdateError m_error;
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
