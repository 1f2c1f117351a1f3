#pragma once

#include <chrono>
#include <cstddef>

extern "C" {
#include <mupdf/fitz.h>
}

// What any input may cost this process, whatever the file holds. Both limits
// apply to every MuPDF context, on every thread.
namespace inkveil::platform {

// MuPDF's memory, all threads together. A file that needs more fails to open,
// be read or be drawn instead of exhausting the machine. The largest page
// bitmap (400 MP, RGB) takes 1.2 GB of it; transparency groups and decoded
// images need room beside it.
inline constexpr std::size_t kDefaultMemoryLimit = std::size_t{3} << 30;

// How long drawing or reading the text of one page may take. Ordinary pages
// take well under a second; content that repeats itself exponentially (forms
// drawing forms) could take years.
inline constexpr std::chrono::milliseconds kDefaultPageTimeBudget = std::chrono::seconds(60);

void setMemoryLimit(std::size_t bytes);
std::size_t memoryLimit();
// Bytes MuPDF holds now, and the most it held since the peak was last reset.
std::size_t memoryInUse();
std::size_t peakMemoryInUse();
void resetPeakMemoryInUse();

void setPageTimeBudget(std::chrono::milliseconds budget);
std::chrono::milliseconds pageTimeBudget();

// The allocator given to the root context: every block counts against the limit.
const fz_alloc_context* limitedAllocator();

} // namespace inkveil::platform
