#include "platform/resource_limits.h"

#include <atomic>
#include <cstdlib>

namespace inkveil::platform {

namespace {

std::atomic<std::size_t> g_limit{kDefaultMemoryLimit};
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<std::chrono::milliseconds::rep> g_pageBudget{kDefaultPageTimeBudget.count()};

// Each block carries its size in front, so that free and realloc can give it
// back; 16 bytes keep the block as aligned as malloc's.
struct alignas(16) Header {
    std::size_t size;
};
static_assert(sizeof(Header) == 16);

bool reserve(std::size_t bytes)
{
    const std::size_t limit = g_limit.load(std::memory_order_relaxed);
    std::size_t used = g_inUse.load(std::memory_order_relaxed);
    do {
        if (bytes > limit || used > limit - bytes)
            return false;
    } while (!g_inUse.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    const std::size_t now = used + bytes;
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (now > peak && !g_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return true;
}

void release(std::size_t bytes) { g_inUse.fetch_sub(bytes, std::memory_order_relaxed); }

void* limitedMalloc(void*, std::size_t size)
{
    if (!reserve(size))
        return nullptr;
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!header) {
        release(size);
        return nullptr;
    }
    header->size = size;
    return header + 1;
}

void limitedFree(void*, void* block)
{
    if (!block)
        return;
    Header* header = static_cast<Header*>(block) - 1;
    release(header->size);
    std::free(header);
}

void* limitedRealloc(void* user, void* block, std::size_t size)
{
    if (!block)
        return limitedMalloc(user, size);
    if (size == 0) {
        limitedFree(user, block);
        return nullptr;
    }
    Header* header = static_cast<Header*>(block) - 1;
    const std::size_t old = header->size;
    if (size > old && !reserve(size - old))
        return nullptr;
    auto* moved = static_cast<Header*>(std::realloc(header, sizeof(Header) + size));
    if (!moved) {
        if (size > old)
            release(size - old);
        return nullptr;
    }
    if (size < old)
        release(old - size);
    moved->size = size;
    return moved + 1;
}

const fz_alloc_context g_allocator{nullptr, limitedMalloc, limitedRealloc, limitedFree};

} // namespace

void setMemoryLimit(std::size_t bytes) { g_limit.store(bytes, std::memory_order_relaxed); }
std::size_t memoryLimit() { return g_limit.load(std::memory_order_relaxed); }
std::size_t memoryInUse() { return g_inUse.load(std::memory_order_relaxed); }
std::size_t peakMemoryInUse() { return g_peak.load(std::memory_order_relaxed); }
void resetPeakMemoryInUse() { g_peak.store(memoryInUse(), std::memory_order_relaxed); }

void setPageTimeBudget(std::chrono::milliseconds budget) { g_pageBudget.store(budget.count(), std::memory_order_relaxed); }
std::chrono::milliseconds pageTimeBudget()
{
    return std::chrono::milliseconds(g_pageBudget.load(std::memory_order_relaxed));
}

const fz_alloc_context* limitedAllocator() { return &g_allocator; }

} // namespace inkveil::platform
