#include "parallel/sort_pool.hpp"

#include "parallel/sort_kernel.hpp"

namespace tarvo {

Registry& sort_pool() {
    return global_registry(&make_kernel_scratch);
}

}  // namespace tarvo
