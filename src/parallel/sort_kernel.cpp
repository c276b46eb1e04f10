#include "parallel/sort_kernel.hpp"

#include <atomic>

#include "algorithms/pdq.hpp"

namespace tarvo {
namespace {

std::atomic<SortKernel> installed_kernel{nullptr};

}  // namespace

void install_sort_kernel(SortKernel kernel) noexcept {
    SortKernel expected = nullptr;
    installed_kernel.compare_exchange_strong(expected, kernel, std::memory_order_acq_rel);
}

void kernel_sort(Slice s) noexcept {
    if (s.size() < 2) return;
    if (SortKernel kernel = installed_kernel.load(std::memory_order_acquire)) {
        if (kernel(s.data(), static_cast<std::ptrdiff_t>(s.size()), nullptr) == 0) return;
    }
    pdq_sort(s, pdq_limit(s.size()));
}

}  // namespace tarvo
