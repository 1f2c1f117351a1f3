#pragma once

#include "cli/options.h"

#include <QString>

namespace inkveil::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// A run stopped by a signal exits as shells report it: 128 + the signal number.
inline constexpr int kExitSignalBase = 128;

int runRedact(const RedactOptions& options);
int runFind(const FindOptions& options);
int runVerify(const VerifyOptions& options);
int runList(const ListOptions& options);

QString usageText();

// "No readable PDF documents were found.": the paths named no PDF at all.
QString nothingFoundText();

} // namespace inkveil::cli
