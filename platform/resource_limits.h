#pragma once

#include <chrono>
#include <cstddef>
#include <new>

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

// A standard allocator whose blocks count against the same limit, for what we
// keep of a page beside MuPDF. Throws std::bad_alloc past the limit.
template <typename T>
struct LimitedAllocator {
    using value_type = T;
    LimitedAllocator() = default;
    template <typename U>
    LimitedAllocator(const LimitedAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        const fz_alloc_context* allocator = limitedAllocator();
        void* block = allocator->malloc(allocator->user, n * sizeof(T));
        if (!block)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept
    {
        const fz_alloc_context* allocator = limitedAllocator();
        allocator->free(allocator->user, block);
    }
    friend bool operator==(const LimitedAllocator&, const LimitedAllocator&) { return true; }
};

} // namespace inkveil::platform
