#include "core/memory.hpp"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tarvo {
namespace {

// Blocks from this size on are aligned to, and advised as, transparent huge pages: the kernel
// then maps one 2 MiB page per fault instead of 512 small ones.
constexpr std::size_t huge_page_size = std::size_t{2} << 20;
constexpr std::size_t huge_block_threshold = 4 * huge_page_size;

std::atomic<long> skip_before_failure{-1};
std::atomic<long> allocation_count{0};

bool injected_failure() noexcept {
    allocation_count.fetch_add(1, std::memory_order_relaxed);
    long skip = skip_before_failure.load(std::memory_order_relaxed);
    while (skip >= 0) {
        if (skip_before_failure.compare_exchange_weak(skip, skip - 1, std::memory_order_relaxed)) {
            return skip == 0;
        }
    }
    return false;
}

}  // namespace

OutOfMemory::OutOfMemory(std::size_t bytes)
    : bytes_(bytes), message_("memory allocation of " + std::to_string(bytes) + " bytes failed") {}

void* allocate_bytes(std::size_t bytes, Fill fill) {
    if (injected_failure()) throw OutOfMemory(bytes);
    if (bytes == 0) return nullptr;
    void* block = nullptr;
    if (bytes >= huge_block_threshold) {
        std::size_t rounded = (bytes + huge_page_size - 1) & ~(huge_page_size - 1);
        block = std::aligned_alloc(huge_page_size, rounded);
        if (block != nullptr) {
            madvise(block, rounded, MADV_HUGEPAGE);
            if (fill == Fill::zeroed) std::memset(block, 0, bytes);
        }
    } else {
        block = fill == Fill::zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
    }
    if (block == nullptr) throw OutOfMemory(bytes);
    return block;
}

void release_bytes(void* block) noexcept {
    std::free(block);
}

void fail_allocation_after(long skip) noexcept {
    skip_before_failure.store(skip, std::memory_order_relaxed);
}

long allocations_made() noexcept {
    return allocation_count.load(std::memory_order_relaxed);
}

void reset_allocation_count() noexcept {
    allocation_count.store(0, std::memory_order_relaxed);
}

}  // namespace tarvo
