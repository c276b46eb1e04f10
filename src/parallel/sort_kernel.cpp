#include "parallel/sort_kernel.hpp"

#if TARVO_HAVE_VQSORT
#include <hwy/contrib/sort/vqsort.h>
#else
#include "algorithms/pdq.hpp"
#endif

namespace tarvo {

#if TARVO_HAVE_VQSORT

// A Sorter owns a small scratch buffer that it obtains when it is made; one per thread, made on
// the thread's first leaf, keeps that allocation out of every later sort.
void kernel_sort(Slice s) noexcept {
    if (s.size() < 2) return;
    thread_local const hwy::Sorter sorter;
    sorter(s.data(), s.size(), hwy::SortAscending());
}

std::string_view kernel_name() noexcept {
    return "Highway vqsort";
}

#else

void kernel_sort(Slice s) noexcept {
    if (s.size() < 2) return;
    pdq_sort(s, pdq_limit(s.size()));
}

std::string_view kernel_name() noexcept {
    return "pdq_sort (portable fallback)";
}

#endif

}  // namespace tarvo
