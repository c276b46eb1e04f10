#include "core/memory.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace tarvo {
namespace {

// Blocks below this size come from malloc as they are; larger ones are aligned to, and advised
// as, transparent huge pages: the kernel then maps one 2 MiB page per fault instead of 512 small
// ones.
constexpr std::size_t huge_page_size = std::size_t{2} << 20;
constexpr std::size_t plain_block_below = 4 * huge_page_size;

// nullptr for 0 bytes or when the block cannot be had.
void* obtain(std::size_t bytes, Fill fill) noexcept {
    if (bytes == 0) return nullptr;
    void* block = nullptr;
    if (bytes < plain_block_below) {
        block = fill == Fill::zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
    } else {
        std::size_t rounded = (bytes + huge_page_size - 1) & ~(huge_page_size - 1);
        block = std::aligned_alloc(huge_page_size, rounded);
        if (block != nullptr) {
            madvise(block, rounded, MADV_HUGEPAGE);
            if (fill == Fill::zeroed) std::memset(block, 0, bytes);
        }
    }
    return block;
}

}  // namespace

OutOfMemory::OutOfMemory(std::size_t bytes)
    : bytes_(bytes), message_("memory allocation of " + std::to_string(bytes) + " bytes failed") {}

void* allocate_bytes(std::size_t bytes, Fill fill) {
    if (allocation_refused()) throw OutOfMemory(bytes);
    void* block = obtain(bytes, fill);
    if (block == nullptr && bytes != 0) throw OutOfMemory(bytes);
    return block;
}

void* try_allocate_bytes(std::size_t bytes, Fill fill) noexcept {
    if (allocation_refused()) return nullptr;
    return obtain(bytes, fill);
}

void release_bytes(void* block) noexcept {
    std::free(block);
}

}  // namespace tarvo
