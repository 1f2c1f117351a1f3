#pragma once

// Shared by the fuzz targets: limits small enough that one input can never
// stall the fuzzer, and a scratch folder for the files the engine reads.

#include "core/records.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace inkveil::fuzz {

// Sets the process's limits for fuzzing and quiets Qt; call once from
// LLVMFuzzerInitialize.
void initialize();

// A folder of this process's own, removed at exit.
const QString& scratchFolder();

// Writes the input to a file in the scratch folder and returns its path.
QString writeInput(const QString& name, const std::uint8_t* data, std::size_t size);
QString writeInput(const QString& name, const QByteArray& bytes);

// The plan every redact and verify input is run with: one mark on the first
// page and a phrase to find.
RedactionPlan fixedPlan();
inline const QString kFixedPhrase = QStringLiteral("John Smith");

// Ends the process as a crash, so that the fuzzer keeps the input.
[[noreturn]] void violation(const char* what);

} // namespace inkveil::fuzz
