#include "parallel/sort_kernel.hpp"

#if TARVO_HAVE_VQSORT
#include <hwy/contrib/sort/vqsort.h>
#else
#include "algorithms/pdq.hpp"
#endif

namespace tarvo {

#if TARVO_HAVE_VQSORT

// Highway 1.0.3's Sorter holds nothing and sorts through buffers on the stack; later versions
// allocate a scratch buffer when a Sorter is made. Either way a worker's Sorter is made with the
// pool, on the thread that starts it.
class KernelScratch final : public WorkerState {
  public:
    void sort(Slice s) const noexcept { sorter_(s.data(), s.size(), hwy::SortAscending()); }

  private:
    hwy::Sorter sorter_;
};

std::string_view kernel_name() noexcept {
    return "Highway vqsort";
}

#else

class KernelScratch final : public WorkerState {
  public:
    void sort(Slice s) const noexcept { pdq_sort(s, pdq_limit(s.size())); }
};

std::string_view kernel_name() noexcept {
    return "pdq_sort (portable fallback)";
}

#endif

std::unique_ptr<WorkerState> make_kernel_scratch(std::size_t) {
    return std::make_unique<KernelScratch>();
}

void kernel_sort(const WorkerContext& worker, Slice s) noexcept {
    if (s.size() < 2) return;
    // Every worker of the sorts' pool was given its scratch by make_kernel_scratch.
    static_cast<const KernelScratch*>(worker.state())->sort(s);
}

void kernel_sort(Slice s) noexcept {
    if (s.size() < 2) return;
    // Making a Sorter costs about 5 ns with Highway 1.0.3, and sorting 10^4 elements took the
    // same time with a fresh one as with a kept one (README.md, "Worker state"): one per call
    // keeps the caller free of thread-local state.
    const KernelScratch scratch;
    scratch.sort(s);
}

}  // namespace tarvo
